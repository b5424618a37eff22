#include "platform/ini_file.h"

#include "platform/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace platform {

namespace {

std::mutex& FileLock() {
    static std::mutex lock;  // serialises every INI file access of the process
    return lock;
}

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// A missing file reads as empty; a file that exists but cannot be read is an error.
IniStatus Load(const std::string& path, IniDocument& doc) {
    doc = IniDocument::Parse("");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? IniStatus::kOk : IniStatus::kCannotRead;
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            if (n < 0) return IniStatus::kCannotRead;
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    doc = IniDocument::Parse(text);
    return IniStatus::kOk;
}

IniStatus Store(const std::string& path, const IniDocument& doc) {
    const std::string text = doc.Format();
    std::string error;
    const FileStatus st = WriteFile(
        path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()), &error);
    return st == FileStatus::kOk ? IniStatus::kOk : IniStatus::kCannotWrite;
}

}  // namespace

IniDocument IniDocument::Parse(std::string_view text) {
    IniDocument doc;
    doc.sections_.push_back(Section{});
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const std::string_view line = Trim(raw);
        if (line.size() >= 2 && line.front() == '[' && line.find(']') != std::string_view::npos) {
            doc.sections_.push_back(Section{std::string(Trim(line.substr(1, line.find(']') - 1))), {}});
            continue;
        }
        const std::size_t eq = line.find('=');
        if (line.empty() || line.front() == ';' || eq == std::string_view::npos ||
            Trim(line.substr(0, eq)).empty()) {
            doc.sections_.back().lines.push_back(Line{"", std::string(Trim(raw))});
            continue;
        }
        doc.sections_.back().lines.push_back(
            Line{std::string(Trim(line.substr(0, eq))), std::string(Trim(line.substr(eq + 1)))});
    }
    return doc;
}

std::string IniDocument::Format() const {
    std::string out;
    for (const Section& s : sections_) {
        if (&s != &sections_.front()) out += "[" + s.name + "]\n";
        for (const Line& l : s.lines) {
            // Blank lines are not kept: sections are separated by their headers alone.
            if (l.key.empty() && l.value.empty()) continue;
            out += l.key.empty() ? l.value : l.key + "=" + l.value;
            out += "\n";
        }
    }
    return out;
}

const IniDocument::Section* IniDocument::FindSection(std::string_view name) const {
    for (std::size_t i = 1; i < sections_.size(); ++i) {
        if (SameName(sections_[i].name, name)) return &sections_[i];
    }
    return nullptr;
}

IniDocument::Section* IniDocument::FindSection(std::string_view name) {
    return const_cast<Section*>(static_cast<const IniDocument*>(this)->FindSection(name));
}

IniDocument::Section& IniDocument::AddSection(std::string_view name) {
    if (Section* s = FindSection(name)) return *s;
    sections_.push_back(Section{std::string(name), {}});
    return sections_.back();
}

const std::string* IniDocument::Find(std::string_view section, std::string_view key) const {
    const Section* s = FindSection(section);
    if (s == nullptr) return nullptr;
    for (const Line& l : s->lines) {
        if (!l.key.empty() && SameName(l.key, key)) return &l.value;
    }
    return nullptr;
}

std::vector<std::string> IniDocument::SectionNames() const {
    std::vector<std::string> names;
    for (std::size_t i = 1; i < sections_.size(); ++i) names.push_back(sections_[i].name);
    return names;
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    Section& s = AddSection(section);
    for (Line& l : s.lines) {
        if (!l.key.empty() && SameName(l.key, key)) {
            l.value = std::string(Trim(value));
            return;
        }
    }
    s.lines.push_back(Line{std::string(Trim(key)), std::string(Trim(value))});
}

void IniDocument::ReplaceSection(std::string_view section, const std::vector<std::string>& lines) {
    Section& s = AddSection(section);
    s.lines.clear();
    for (const std::string& text : lines) {
        const IniDocument one = Parse(text);
        for (const Line& l : one.sections_.front().lines) s.lines.push_back(l);
    }
}

std::string IniGetString(const std::string& path, std::string_view section, std::string_view key,
                         std::string_view fallback) {
    std::lock_guard<std::mutex> hold(FileLock());
    IniDocument doc;
    if (Load(path, doc) != IniStatus::kOk) return std::string(fallback);
    const std::string* value = doc.Find(section, key);
    return value != nullptr ? *value : std::string(fallback);
}

std::vector<std::string> IniSectionNames(const std::string& path) {
    std::lock_guard<std::mutex> hold(FileLock());
    IniDocument doc;
    if (Load(path, doc) != IniStatus::kOk) return {};
    return doc.SectionNames();
}

IniStatus IniWriteString(const std::string& path, std::string_view section, std::string_view key,
                         std::string_view value) {
    std::lock_guard<std::mutex> hold(FileLock());
    IniDocument doc;
    if (const IniStatus st = Load(path, doc); st != IniStatus::kOk) return st;
    doc.Set(section, key, value);
    return Store(path, doc);
}

IniStatus IniWriteSection(const std::string& path, std::string_view section,
                          const std::vector<std::string>& lines) {
    std::lock_guard<std::mutex> hold(FileLock());
    IniDocument doc;
    if (const IniStatus st = Load(path, doc); st != IniStatus::kOk) return st;
    doc.ReplaceSection(section, lines);
    return Store(path, doc);
}

}  // namespace platform
