# Sourced by the release tests, with `src` (the source tree) and `here` (this folder)
# set:  . "$here/support.sh" NAME
# Defines `work`, a scratch folder removed at exit together with every process whose id
# is added to `children`; `failures` and `check WHAT COMMAND...`, which runs COMMAND
# and reports; and `repo`, a git repository made from a copy of the working tree as it
# is, committed, with `git` running in it (the developer's own tree is never touched).
work=$(mktemp -d "${TMPDIR:-/tmp}/vlr-$1.XXXXXX")
children=()
cleanup() {
  local pid
  for pid in ${children[@]+"${children[@]}"}; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
check() {
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}

repo=$work/repo
bash "$here/copy_tree.sh" "$src" "$repo"
git() { command git -C "$repo" -c user.name=test -c user.email=test@localhost "$@"; }
git -c init.defaultBranch=main init -q
git add -A
git commit -q -m "the tree under test"
