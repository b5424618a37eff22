// INI files read and written with private-profile semantics: "[section]" headers, "key=value" lines,
// section and key names compared without regard to case, blanks around names and values ignored, lines
// starting with ";" kept as comments. Reads of a missing file, section or key give the default; writes
// create the file (not its folder) and replace it atomically (a temporary file in the same folder, then
// rename), so a reader in another process sees either the old file or the new one, never half of it.
// Calls are serialised within the process, so concurrent read-modify-write cycles do not lose updates.
#ifndef PLATFORM_INI_FILE_H
#define PLATFORM_INI_FILE_H

#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class IniStatus { kOk, kCannotRead, kCannotWrite };

// The value of `key` in `section`, or `fallback` when the file, the section or the key is missing.
[[nodiscard]] std::string IniGetString(const std::string& path, std::string_view section,
                                       std::string_view key, std::string_view fallback);

// The section names in file order; empty when the file is missing or has none.
[[nodiscard]] std::vector<std::string> IniSectionNames(const std::string& path);

// Sets `key` in `section` (both created when missing, the section at the end of the file).
[[nodiscard]] IniStatus IniWriteString(const std::string& path, std::string_view section,
                                       std::string_view key, std::string_view value);

// Replaces the whole body of `section` by `lines` ("key=value" each), creating it when missing.
[[nodiscard]] IniStatus IniWriteSection(const std::string& path, std::string_view section,
                                        const std::vector<std::string>& lines);

// The in-memory form behind the calls above, for parsing and formatting without a file.
class IniDocument {
  public:
    static IniDocument Parse(std::string_view text);
    std::string Format() const;

    const std::string* Find(std::string_view section, std::string_view key) const;
    std::vector<std::string> SectionNames() const;
    void Set(std::string_view section, std::string_view key, std::string_view value);
    void ReplaceSection(std::string_view section, const std::vector<std::string>& lines);

  private:
    struct Line {
        std::string key;    // empty for a comment or a line without "="
        std::string value;  // the value, or the whole raw line when key is empty
    };
    struct Section {
        std::string name;  // empty for lines before the first header
        std::vector<Line> lines;
    };
    Section* FindSection(std::string_view name);
    const Section* FindSection(std::string_view name) const;
    Section& AddSection(std::string_view name);

    std::vector<Section> sections_;
};

}  // namespace platform

#endif
