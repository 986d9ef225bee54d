#include "crash_states.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <stdexcept>

namespace powercut {
namespace fs = std::filesystem;

namespace {

constexpr size_t kBlock = 4096;

std::string Parent(const std::string& relative) {
  const size_t slash = relative.rfind('/');
  return slash == std::string::npos ? std::string() : relative.substr(0, slash);
}

// A change of names, and the folders whose names it changes.
struct NameChange {
  size_t at = 0;  // its place in the log
  OpKind kind = OpKind::Create;
  std::string path, to;
  int file = -1;
  std::map<std::string, size_t> place;  // folder -> its place among that folder's changes
};

class Model {
 public:
  Model(const fs::path& folder, const Tree& before, const std::vector<Op>& log)
      : before_(before), end_(log.size()) {
    for (const auto& [path, content] : before.entries) {
      if (content) initial_[path] = InitialFile(path, *content);
    }
    const auto relative = [&](const NativeString& p) {
      return fs::path(p).lexically_relative(folder).generic_string();
    };
    for (size_t at = 0; at < log.size(); ++at) {
      const Op& op = log[at];
      switch (op.kind) {
        case OpKind::Write:
          files_[Id(op.file)].writes.push_back({at, op.data});
          continue;
        case OpKind::Flush:
          files_[Id(op.file)].flushes.push_back(at);
          continue;
        case OpKind::FlushFolder:
          flushes_[relative(op.path) == "." ? std::string() : relative(op.path)].push_back(at);
          continue;
        default:
          break;
      }
      NameChange c;
      c.at = at;
      c.kind = op.kind;
      c.path = relative(op.path);
      c.to = op.to.empty() ? std::string() : relative(op.to);
      c.file = op.kind == OpKind::Create ? Id(op.file) : -1;
      std::set<std::string> folders{Parent(c.path)};
      if (!c.to.empty()) folders.insert(Parent(c.to));
      if (op.kind == OpKind::MakeFolder || op.kind == OpKind::RemoveFolder) folders.insert(c.path);
      for (const std::string& f : folders) {
        c.place[f] = byFolder_[f].size();
        byFolder_[f].push_back(changes_.size());
      }
      changes_.push_back(std::move(c));
    }
    for (const auto& [f, list] : byFolder_) folders_.push_back(f);
  }

  size_t end() const { return end_; }
  const std::vector<std::string>& folders() const { return folders_; }

  // For a cut after `cut` calls: per folder, the changes made (high) and those a flush
  // made durable (low), the latter closed over changes that touch two folders.
  void Bounds(size_t cut, std::vector<size_t>& low, std::vector<size_t>& high) const {
    low.assign(folders_.size(), 0);
    high.assign(folders_.size(), 0);
    for (size_t i = 0; i < folders_.size(); ++i) {
      const std::vector<size_t>& list = byFolder_.at(folders_[i]);
      size_t flushedAt = 0;  // changes before this log place are durable
      if (const auto it = flushes_.find(folders_[i]); it != flushes_.end()) {
        for (size_t at : it->second) {
          if (at < cut) flushedAt = at;
        }
      }
      for (size_t k : list) {
        if (changes_[k].at < cut) ++high[i];
        if (changes_[k].at < flushedAt) ++low[i];
      }
    }
    for (bool raised = true; raised;) {
      raised = false;
      for (size_t i = 0; i < folders_.size(); ++i) {
        for (size_t n = 0; n < low[i]; ++n) {
          const NameChange& c = changes_[byFolder_.at(folders_[i])[n]];
          for (const auto& [g, place] : c.place) {
            const size_t j = Index(g);
            if (place >= low[j]) {
              low[j] = place + 1;
              raised = true;
            }
          }
        }
      }
    }
  }

  // Shortens the chosen prefixes until every change in one of them is in all of its
  // folders' prefixes.
  void Close(std::vector<size_t>& prefix) const {
    for (bool cut = true; cut;) {
      cut = false;
      for (size_t i = 0; i < folders_.size() && !cut; ++i) {
        for (size_t n = 0; n < prefix[i] && !cut; ++n) {
          const NameChange& c = changes_[byFolder_.at(folders_[i])[n]];
          for (const auto& [g, place] : c.place) {
            if (place >= prefix[Index(g)]) {
              prefix[i] = n;
              cut = true;
              break;
            }
          }
        }
      }
    }
  }

  // The names and folders after the changes kept by prefix. Returns name -> file id.
  std::map<std::string, int> Names(const std::vector<size_t>& prefix,
                                   std::set<std::string>& folders) const {
    std::map<std::string, int> names;
    for (const auto& [path, content] : before_.entries) {
      if (content) {
        names[path] = initial_.at(path);
      } else {
        folders.insert(path);
      }
    }
    std::vector<bool> kept(changes_.size(), false);
    for (size_t i = 0; i < folders_.size(); ++i) {
      const std::vector<size_t>& list = byFolder_.at(folders_[i]);
      for (size_t n = 0; n < prefix[i]; ++n) kept[list[n]] = true;
    }
    for (size_t k = 0; k < changes_.size(); ++k) {
      if (!kept[k]) continue;
      const NameChange& c = changes_[k];
      const auto from = names.find(c.path);
      switch (c.kind) {
        case OpKind::Create:
          names[c.path] = c.file;
          break;
        case OpKind::Rename:
        case OpKind::Link: {
          if (from == names.end()) throw std::logic_error("a change of a name the disk lacks: " + c.path);
          const int id = from->second;
          if (c.kind == OpKind::Rename) names.erase(from);
          names[c.to] = id;
          break;
        }
        case OpKind::Remove:
          names.erase(c.path);
          break;
        case OpKind::MakeFolder:
          folders.insert(c.path);
          break;
        case OpKind::RemoveFolder:
          folders.erase(c.path);
          break;
        default:
          break;
      }
    }
    return names;
  }

  // The lengths a file may have after a cut after `cut` calls, and its bytes then.
  std::vector<size_t> Lengths(int id, size_t cut, std::string& bytes) const {
    const File& f = files_.at(id);
    bytes = f.initial;
    size_t durable = f.writes.empty() ? bytes.size() : 0;
    size_t lastFlush = 0;
    bool flushed = false;
    for (size_t at : f.flushes) {
      if (at < cut) {
        lastFlush = at;
        flushed = true;
      }
    }
    for (const auto& [at, data] : f.writes) {
      if (at >= cut) break;
      bytes += data;
      if (flushed && at < lastFlush) durable = bytes.size();
    }
    std::vector<size_t> lengths{durable};
    for (size_t n = (durable / kBlock + 1) * kBlock; n < bytes.size(); n += kBlock) lengths.push_back(n);
    if (bytes.size() > durable) lengths.push_back(bytes.size());
    return lengths;
  }

 private:
  struct File {
    std::string initial;
    std::vector<std::pair<size_t, std::string>> writes;
    std::vector<size_t> flushes;
  };

  int InitialFile(const std::string&, const std::string& content) {
    const int id = static_cast<int>(files_.size());
    files_[id].initial = content;
    return id;
  }
  int Id(int logFile) const { return 1000000 + logFile; }
  size_t Index(const std::string& folder) const {
    return static_cast<size_t>(std::find(folders_.begin(), folders_.end(), folder) - folders_.begin());
  }

  const Tree& before_;
  size_t end_;
  std::map<std::string, int> initial_;
  std::map<int, File> files_;
  std::vector<NameChange> changes_;
  std::map<std::string, std::vector<size_t>> byFolder_;
  std::map<std::string, std::vector<size_t>> flushes_;
  std::vector<std::string> folders_;
};

// Builds the state for one choice; `pick` chooses among n options (the data lengths).
template <class Pick>
Tree Build(const Model& model, size_t cut, std::vector<size_t> prefix, Pick pick, std::string& key) {
  model.Close(prefix);
  std::set<std::string> folders;
  const std::map<std::string, int> names = model.Names(prefix, folders);
  Tree tree;
  std::map<int, std::string> contents;
  for (const auto& [path, id] : names) {
    if (!contents.count(id)) {
      std::string bytes;
      const std::vector<size_t> lengths = model.Lengths(id, cut, bytes);
      bytes.resize(lengths[pick(lengths.size())]);
      contents[id] = bytes;
    }
    tree.entries[path] = contents[id];
    tree.links[path] = id;
  }
  for (const std::string& f : folders) tree.entries[f] = std::nullopt;
  key.clear();
  for (const auto& [path, id] : tree.links) {
    key += path + '\0' + std::to_string(id) + ':' + std::to_string(contents[id].size()) + '\n';
  }
  for (const std::string& f : folders) key += f + "/\n";
  return tree;
}

}  // namespace

Tree ReadTree(const fs::path& folder) {
  Tree tree;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder)) {
    const std::string relative = e.path().lexically_relative(folder).generic_string();
    if (e.is_directory()) {
      tree.entries[relative] = std::nullopt;
    } else {
      std::ifstream in(e.path(), std::ios::binary);
      tree.entries[relative] =
          std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  return tree;
}

void WriteTree(const fs::path& folder, const Tree& tree) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  std::map<int, fs::path> first;
  for (const auto& [relative, content] : tree.entries) {
    const fs::path path = folder / fs::path(relative);
    if (!content) {
      fs::create_directories(path);
      continue;
    }
    const auto link = tree.links.find(relative);
    if (link != tree.links.end()) {
      if (const auto it = first.find(link->second); it != first.end()) {
        std::error_code ec;
        fs::create_hard_link(it->second, path, ec);
        if (!ec) continue;
      } else {
        first[link->second] = path;
      }
    }
    std::ofstream(path, std::ios::binary) << *content;
  }
}

CrashStates ExploreCrashes(const fs::path& folder, const Tree& before, const std::vector<Op>& log,
                           size_t most, uint32_t seed) {
  const Model model(folder, before, log);
  const size_t folders = model.folders().size();
  CrashStates out;
  std::set<std::string> seen;
  std::string key;
  const auto add = [&](Tree tree, size_t cut) {
    // A state after the whole run is told apart: it has a check of its own.
    if (!seen.insert(key + (cut == model.end() ? "end" : "")).second) return;
    out.states.push_back(std::move(tree));
    out.afterTheEnd.push_back(cut == model.end());
  };
  std::vector<size_t> low, high;

  // Every choice, while there are not too many.
  bool tooMany = false;
  for (size_t cut = 0; cut <= model.end() && !tooMany; ++cut) {
    model.Bounds(cut, low, high);
    std::vector<size_t> prefix = low;
    for (bool more = true; more && !tooMany;) {
      // Every combination of data lengths: a counter whose digits are the files' choices.
      std::vector<size_t> digits, bases;
      for (bool moreData = true; moreData && !tooMany;) {
        size_t d = 0;
        Tree tree = Build(model, cut, prefix, [&](size_t n) {
          if (d == digits.size()) {
            digits.push_back(0);
            bases.push_back(n);
          }
          return digits[d++];
        }, key);
        add(std::move(tree), cut);
        tooMany = out.states.size() > most;
        moreData = false;
        for (size_t i = 0; i < digits.size() && !moreData; ++i) {
          if (++digits[i] < bases[i]) {
            moreData = true;
          } else {
            digits[i] = 0;
          }
        }
      }
      // The next prefix combination.
      more = false;
      for (size_t i = 0; i < folders; ++i) {
        if (prefix[i] < high[i]) {
          ++prefix[i];
          more = true;
          break;
        }
        prefix[i] = low[i];
      }
    }
  }
  out.exhaustive = !tooMany;
  if (out.exhaustive) return out;

  // Too many: a fixed sample.
  out.states.clear();
  out.afterTheEnd.clear();
  seen.clear();
  out.seed = seed;
  std::mt19937 random(seed);
  for (size_t tries = 0; out.states.size() < most && tries < most * 20; ++tries) {
    // The end of the run (a success, then the cut) is drawn often: it is where a
    // missing last flush shows.
    const size_t cut = tries % 4 == 0 ? model.end()
                                      : std::uniform_int_distribution<size_t>(0, model.end())(random);
    model.Bounds(cut, low, high);
    std::vector<size_t> prefix(folders);
    for (size_t i = 0; i < folders; ++i) {
      prefix[i] = std::uniform_int_distribution<size_t>(low[i], high[i])(random);
    }
    Tree tree = Build(model, cut, prefix, [&](size_t n) {
      return std::uniform_int_distribution<size_t>(0, n - 1)(random);
    }, key);
    add(std::move(tree), cut);
  }
  return out;
}

}  // namespace powercut
