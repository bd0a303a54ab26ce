// What the packer needs to know about a setup script: the payload items it
// names, and mistakes that the runtime would pass over without a word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pack {

// Lines as the runtime reads them: CR LF, LF or a lone CR end a line, the
// last line needs no end, zero bytes are dropped, nothing is trimmed.
std::vector<std::string> SplitScriptLines(const std::vector<uint8_t>& bytes);

struct ItemReference {
    std::string item;     // the name as written (lookups ignore ASCII case)
    std::string section;  // header of the section that names it
    size_t line;          // 1-based line of the value that names it
};

struct ScriptNote {
    size_t line;  // 1-based
    std::string text;
};

struct ScriptScan {
    std::vector<ItemReference> references;
    std::vector<ScriptNote> warnings;
    bool container = false;  // "[InstallContainer]": every other item is an inner installer
};

ScriptScan ScanScript(const std::vector<uint8_t>& bytes);

bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b);

}  // namespace pack
