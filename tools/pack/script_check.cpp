#include "script_check.h"

#include "script/scriptsections.h"

#include <algorithm>
#include <iterator>

namespace pack {

namespace {

const std::string kTempInstall = TempInstallMarker;

const ScriptSection* ExactHeader(const std::string& line) {
    for (const ScriptSection& shape : ScriptSections)
        if (line == shape.header) return &shape;
    return nullptr;
}

std::string TrimSpaces(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

const ScriptSection* LooseHeader(const std::string& line) {
    const std::string trimmed = TrimSpaces(line);
    for (const ScriptSection& shape : ScriptSections)
        if (EqualsIgnoringAsciiCase(trimmed, shape.header)) return &shape;
    return nullptr;
}

// The item a run line names, when it runs a program out of the payload.
bool RunsPayloadItem(const std::string& program, std::string& item) {
    if (program.compare(0, kTempInstall.size(), kTempInstall) != 0) return false;
    item = program.substr(kTempInstall.size());
    if (!item.empty() && item[0] == '\\') item.erase(0, 1);
    return true;
}

void NoteReferences(const std::string& header, const std::vector<std::string>& values, size_t firstLine,
                    ScriptScan& scan) {
    if (header == SectionCopyFile.header) {
        scan.references.push_back({values[0], header, firstLine});
    } else if (header == SectionRegistry.header) {
        if (values[2] == "BINARY") scan.references.push_back({values[4], header, firstLine + 4});
    } else if (header == SectionRunFile.header || header == SectionRunAndWaitFile.header) {
        std::string item;
        if (RunsPayloadItem(values[0], item)) scan.references.push_back({item, header, firstLine});
    }
}

}  // namespace

bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

std::vector<std::string> SplitScriptLines(const std::vector<uint8_t>& bytes) {
    std::vector<std::string> lines;
    std::string line;
    bool open = false;  // characters read since the last line end
    for (size_t i = 0; i < bytes.size(); ++i) {
        const uint8_t byte = bytes[i];
        if (byte == '\r' || byte == '\n') {
            if (byte == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
            lines.push_back(line);
            line.clear();
            open = false;
        } else {
            if (byte) line.push_back(static_cast<char>(byte));
            open = true;
        }
    }
    // The runtime's line reader returns a last unterminated line only when
    // it holds a character; one made of zero bytes alone reads as nothing.
    if (open && !line.empty()) lines.push_back(line);
    return lines;
}

ScriptScan ScanScript(const std::vector<uint8_t>& bytes) {
    const std::vector<std::string> lines = SplitScriptLines(bytes);
    ScriptScan scan;
    for (const std::string& line : lines)
        if (line == SectionInstallContainer.header) scan.container = true;

    for (size_t i = 0; i < lines.size(); ++i) {
        const size_t lineNumber = i + 1;
        if (const ScriptSection* shape = ExactHeader(lines[i])) {
            const size_t valueLines = static_cast<size_t>(shape->valueLines);
            const size_t available = std::min(valueLines, lines.size() - i - 1);
            if (available < valueLines)
                scan.warnings.push_back(
                    {lineNumber, "section \"" + std::string(shape->header) + "\" ends after " +
                                     std::to_string(available) + " of its " + std::to_string(valueLines) +
                                     " lines; the missing lines read as empty"});
            std::vector<std::string> values(lines.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                            lines.begin() + static_cast<std::ptrdiff_t>(i + 1 + available));
            values.resize(valueLines);
            NoteReferences(shape->header, values, lineNumber + 1, scan);
            i += available;
        } else if (const ScriptSection* near = LooseHeader(lines[i])) {
            scan.warnings.push_back({lineNumber, "\"" + lines[i] + "\" is not the section header \"" +
                                                     near->header +
                                                     "\" (letter case or spaces differ); the line is ignored"});
        }
    }
    return scan;
}

}  // namespace pack
