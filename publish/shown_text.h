// Names as they may be printed: a name is whatever bytes a folder holds, and printed raw
// its control characters would act on the terminal (colours, a cleared screen).
#pragma once

#include <string>

namespace vlrpub {

// `name` with every control character (C0, DEL, C1) written as \xNN (\u00NN for C1)
// and every byte that is not part of valid UTF-8 as \xNN. Other text is kept as it is
// ('\' too: it separates the folders of a Windows path).
std::string ShownName(const std::string& name);

}  // namespace vlrpub
