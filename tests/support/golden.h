// Golden texts: what the system emits (a transcript, a trace, an export) compared whole with the
// text kept in the suite's data/ folder. After a deliberate change, run the case with
// OTS_REGOLDEN=1 to write the new text, and review its diff before committing it.
#pragma once

#include <string>

namespace ots::test {

// Compares text with the file at path, or writes it there instead. Every suite is built with
// OTS_GOLDEN_DIR naming its data/ folder: ExpectGolden(text, OTS_GOLDEN_DIR "trace.txt").
void ExpectGolden(const std::string& text, const std::string& path);

}  // namespace ots::test
