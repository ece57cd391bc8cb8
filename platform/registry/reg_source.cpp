#include "reg_source.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <utility>

#include "durable_file.h"
#include "reg_text.h"

namespace ce::registry {
namespace {

using host::RegistryError;
using host::RegTextOptions;

constexpr std::string_view kBlank = " \t";
constexpr char kDosEndOfFile = '\x1A';
// Loops are caught by name; these bound a chain of ever new names (a folder linked to itself)
// and a file that includes such a chain more than once, which would multiply it.
constexpr std::size_t kMaxIncludeDepth = 16;
constexpr std::size_t kMaxFiles = 256;

std::string_view Trim(std::string_view s) {
    const std::size_t first = s.find_first_not_of(kBlank);
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(kBlank) + 1 - first);
}

bool SameWord(std::string_view word, std::string_view keyword) {
    return word.size() == keyword.size() &&
           std::equal(word.begin(), word.end(), keyword.begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) == b;
           });
}

// The first blank-separated word of a line and the rest, trimmed.
std::pair<std::string_view, std::string_view> SplitWord(std::string_view line) {
    const std::size_t end = std::min(line.find_first_of(kBlank), line.size());
    return {line.substr(0, end), Trim(line.substr(end))};
}

bool IsName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

// IF NAME, IF NAME !, IF NAME == value, IF NAME != value; #if adds defined(NAME), !, numbers.
struct Condition {
    std::string_view name;
    enum class Test { Set, NotSet, Equal, NotEqual } test = Test::Set;
    std::string_view value;
};

std::optional<Condition> ParseCondition(std::string_view text) {
    Condition condition;
    if (const std::size_t op = text.find_first_of("=!"); op == std::string_view::npos) {
        condition.name = text;
    } else if (text.substr(op) == "!") {
        condition.name = Trim(text.substr(0, op));
        condition.test = Condition::Test::NotSet;
    } else if (text.substr(op, 2) == "==" || text.substr(op, 2) == "!=") {
        condition.name = Trim(text.substr(0, op));
        condition.test = text[op] == '=' ? Condition::Test::Equal : Condition::Test::NotEqual;
        condition.value = Trim(text.substr(op + 2));
    } else {
        return std::nullopt;
    }
    return IsName(condition.name) ? std::optional(condition) : std::nullopt;
}

class ImageReader {
  public:
    ImageReader(const RegTextOptions& options, RegSource& source)
        : options_(options), source_(source), defines_(options.defines) {}

    void Read(std::string text, const std::string& name) {
        including_.push_back(std::filesystem::path(name).lexically_normal().string());
        ReadFile(std::move(text), name);
    }

  private:
    // An open IF or #if block.
    struct Block {
        bool image = false;  // IF ... ENDIF rather than #if ... #endif
        bool outerKeeps = true;
        bool taken = false;  // the condition held
        bool elseSeen = false;
        int line = 0;
        bool Keeps() const { return outerKeeps && (taken != elseSeen); }
    };

    void ReadFile(std::string text, const std::string& name) {
        const std::size_t file = source_.files.size();
        source_.files.push_back(name);
        const std::string& stored = source_.texts.emplace_back(std::move(text));
        std::vector<Block> blocks;
        int number = 0;
        for (const std::string_view raw : SplitLines(stored)) {
            ++number;
            at_ = {raw, file, number};
            const std::string_view line = Trim(raw);
            if (!line.empty() && line.front() != ';') {
                ReadLine(line, blocks);
            }
            if (source_.error) {
                return;
            }
        }
        if (!blocks.empty()) {
            at_.line = blocks.back().line;
            Fail(blocks.back().image ? "IF without ENDIF" : "#if without #endif");
        }
    }

    static bool Keeping(const std::vector<Block>& blocks) {
        return blocks.empty() || blocks.back().Keeps();
    }

    void ReadLine(std::string_view line, std::vector<Block>& blocks) {
        const bool directive = line.front() == '#';
        const auto [word, rest] = SplitWord(directive ? Trim(line.substr(1)) : line);
        if (directive) {
            ReadDirective(word, rest, blocks);
        } else if (SameWord(word, "IF")) {
            Open(blocks, true, rest, [this](std::string_view text) { return ImageTest(text); });
        } else if (SameWord(word, "ELSE") && rest.empty()) {
            Else(blocks, true);
        } else if (SameWord(word, "ENDIF") && rest.empty()) {
            Close(blocks, true);
        } else if (Keeping(blocks)) {
            Emit();
        }
    }

    void ReadDirective(std::string_view word, std::string_view rest, std::vector<Block>& blocks) {
        if (word == "if") {
            Open(blocks, false, rest, [this](std::string_view text) { return CppTest(text); });
        } else if (word == "ifdef" || word == "ifndef") {
            const bool wantSet = word == "ifdef";
            Open(blocks, false, rest, [this, wantSet](std::string_view name) {
                return IsName(name) ? std::optional(defines_.contains(std::string(name)) == wantSet)
                                    : std::nullopt;
            });
        } else if (word == "else" && rest.empty()) {
            Else(blocks, false);
        } else if (word == "endif" && rest.empty()) {
            Close(blocks, false);
        } else if (!Keeping(blocks)) {
            return;  // a dropped block's #define or #include does not count
        } else if (word == "define" || word == "undef") {
            const auto [name, value] = SplitWord(rest);
            if (!IsName(name) || (word == "undef" && !value.empty())) {
                Fail("#" + std::string(word) + " needs a name of letters, digits and '_'");
            } else if (word == "undef") {
                defines_.erase(std::string(name));
            } else if (const auto expanded = Expand(value)) {
                defines_[std::string(name)] = *expanded;
            }
        } else if (word == "include") {
            Include(rest);
        } else {
            Fail("unknown directive: #" + std::string(word));
        }
    }

    template <typename Test>
    void Open(std::vector<Block>& blocks, bool image, std::string_view text, Test test) {
        Block block{image, Keeping(blocks), false, false, at_.line};
        if (block.outerKeeps) {
            const std::optional<bool> holds = test(text);
            if (!holds) {
                Fail(image ? "IF needs NAME, NAME !, NAME == value or NAME != value"
                           : "unsupported #if condition: " + std::string(text));
                return;
            }
            block.taken = *holds;
        }
        blocks.push_back(block);
    }

    void Else(std::vector<Block>& blocks, bool image) {
        if (blocks.empty() || blocks.back().image != image || blocks.back().elseSeen) {
            Fail(image ? "ELSE without IF" : "#else without #if");
            return;
        }
        blocks.back().elseSeen = true;
    }

    void Close(std::vector<Block>& blocks, bool image) {
        if (blocks.empty() || blocks.back().image != image) {
            Fail(image ? "ENDIF without IF" : "#endif without #if");
            return;
        }
        blocks.pop_back();
    }

    const std::string* Defined(std::string_view name) const {
        const auto it = defines_.find(std::string(name));
        return it == defines_.end() ? nullptr : &it->second;
    }

    std::optional<bool> ImageTest(std::string_view text) const {
        const std::optional<Condition> condition = ParseCondition(text);
        if (!condition) {
            return std::nullopt;
        }
        const std::string* value = Defined(condition->name);
        switch (condition->test) {
            case Condition::Test::Set:
                return value != nullptr;
            case Condition::Test::NotSet:
                return value == nullptr;
            case Condition::Test::Equal:
                return value != nullptr && *value == condition->value;
            case Condition::Test::NotEqual:
                return value == nullptr || *value != condition->value;
        }
        return std::nullopt;
    }

    // defined(NAME), defined NAME, a number, NAME (defined and neither empty nor 0), NAME ==
    // value, NAME != value, each possibly after '!', joined by && and ||.
    std::optional<bool> CppTest(std::string_view text) const {
        for (const std::string_view op : {"||", "&&"}) {  // || binds loosest
            if (const std::size_t at = text.find(op); at != std::string_view::npos) {
                const auto left = CppTest(Trim(text.substr(0, at)));
                const auto right = CppTest(Trim(text.substr(at + 2)));
                if (!left || !right) {
                    return std::nullopt;
                }
                return op == "||" ? *left || *right : *left && *right;
            }
        }
        if (text.starts_with('!') && !text.starts_with("!=")) {
            const auto inner = CppTest(Trim(text.substr(1)));
            return inner ? std::optional(!*inner) : std::nullopt;
        }
        if (text.starts_with("defined")) {
            std::string_view name = Trim(text.substr(7));
            if (name.starts_with('(') && name.ends_with(')')) {
                name = Trim(name.substr(1, name.size() - 2));
            }
            return IsName(name) ? std::optional(Defined(name) != nullptr) : std::nullopt;
        }
        if (!text.empty() && std::isdigit(static_cast<unsigned char>(text.front()))) {
            return IsName(text) ? std::optional(text.find_first_not_of('0') != text.npos)
                                : std::nullopt;
        }
        const std::optional<Condition> condition = ParseCondition(text);
        if (!condition || condition->test == Condition::Test::NotSet) {
            return std::nullopt;
        }
        if (condition->test != Condition::Test::Set) {
            return ImageTest(text);
        }
        const std::string* value = Defined(condition->name);
        return value != nullptr && !value->empty() && *value != "0";
    }

    void Include(std::string_view rest) {
        if (rest.size() < 3 || !rest.starts_with('"') || !rest.ends_with('"')) {
            Fail("#include needs a file name in double quotes");
            return;
        }
        const std::filesystem::path named(rest.substr(1, rest.size() - 2));
        const std::string path =
            (named.is_absolute()
                 ? named
                 : std::filesystem::path(source_.files[at_.file]).parent_path() / named)
                .lexically_normal()
                .string();
        if (std::find(including_.begin(), including_.end(), path) != including_.end()) {
            std::string chain;
            for (const std::string& file : including_) {
                chain += file + " -> ";
            }
            Fail("include loop: " + chain + path);
            return;
        }
        if (including_.size() > kMaxIncludeDepth) {
            Fail("includes nested deeper than " + std::to_string(kMaxIncludeDepth) + " files");
            return;
        }
        if (source_.files.size() >= kMaxFiles) {
            Fail("more than " + std::to_string(kMaxFiles) + " files included");
            return;
        }
        std::string text;
        const int error =
            options_.readFile ? options_.readFile(path, text) : ReadWholeFile(path, text);
        if (error != 0) {
            Fail("cannot include \"" + path + "\": " + std::strerror(error));
            return;
        }
        const SourceLine includedAt = at_;
        including_.push_back(path);
        ReadFile(std::move(text), path);
        including_.pop_back();
        at_ = includedAt;
    }

    // $(NAME) replaced by its definition, once (a definition's own $(...) stays as it is).
    std::optional<std::string> Expand(std::string_view text) {
        std::string out;
        for (std::size_t pos = 0;;) {
            const std::size_t open = text.find("$(", pos);
            out += text.substr(pos, open - pos);
            if (open == std::string_view::npos) {
                return out;
            }
            const std::size_t close = text.find(')', open);
            if (close == std::string_view::npos) {
                Fail("unterminated $( in: " + std::string(text));
                return std::nullopt;
            }
            const std::string_view name = text.substr(open + 2, close - open - 2);
            const std::string* value = Defined(name);
            if (value == nullptr) {
                Fail("$(" + std::string(name) + ") is not defined");
                return std::nullopt;
            }
            out += *value;
            pos = close + 1;
        }
    }

    void Emit() {
        SourceLine line = at_;
        if (line.text.find("$(") != std::string_view::npos) {
            const auto expanded = Expand(line.text);
            if (!expanded) {
                return;
            }
            line.text = source_.texts.emplace_back(*expanded);
        }
        source_.lines.push_back(line);
    }

    void Fail(std::string message) {
        if (!source_.error) {
            source_.error = RegistryError{source_.files[at_.file], at_.line, std::move(message)};
        }
    }

    const RegTextOptions& options_;
    RegSource& source_;
    std::map<std::string, std::string> defines_;
    std::vector<std::string> including_;  // the chain of files being read, outermost first
    SourceLine at_;                       // the line being read
};

// The number of the first line that is not blank (one past the end when none is), and whether
// it is regedit's header.
std::pair<int, bool> FirstLine(const std::vector<std::string_view>& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view trimmed = Trim(lines[i]);
        if (!trimmed.empty()) {
            return {static_cast<int>(i) + 1, trimmed == kRegHeader5 || trimmed == kRegHeader4};
        }
    }
    return {static_cast<int>(lines.size()) + 1, false};
}

}  // namespace

std::vector<std::string_view> SplitLines(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);  // byte-order mark
    }
    // Older tools end the file with the DOS end-of-file byte.
    const std::size_t last = text.find_last_not_of("\r\n");
    if (last != std::string_view::npos && text[last] == kDosEndOfFile) {
        text = text.substr(0, last);
    }
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

RegSource ReadRegSource(std::string text, const std::string& fileName,
                        const RegTextOptions& options, bool regeditOnly) {
    RegSource source;
    const auto [first, regedit] = FirstLine(SplitLines(text));
    if (!regedit && regeditOnly) {
        source.files.push_back(fileName);
        source.error = RegistryError{fileName, std::max(first, 1),
                                     "expected \"" + std::string(kRegHeader5) + "\" or \"" +
                                         std::string(kRegHeader4) + "\" as the first line"};
        return source;
    }
    if (!regedit) {
        source.imageForm = true;
        ImageReader(options, source).Read(std::move(text), fileName);
        return source;
    }
    source.files.push_back(fileName);
    const std::string& stored = source.texts.emplace_back(std::move(text));
    int number = 0;
    for (const std::string_view line : SplitLines(stored)) {
        source.lines.push_back({line, 0, ++number});
    }
    return source;
}

}  // namespace ce::registry
