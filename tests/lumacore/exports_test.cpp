// The shared library exports exactly the 72 functions its header declares, and nothing else.
#include <elf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

std::string ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Names of the defined, global or weak symbols in the ELF64 dynamic symbol table.
std::set<std::string> DefinedDynamicSymbols(const std::string& image) {
    std::set<std::string> names;
    if (image.size() < sizeof(Elf64_Ehdr)) return names;
    Elf64_Ehdr eh;
    std::memcpy(&eh, image.data(), sizeof eh);
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64) return names;
    std::vector<Elf64_Shdr> sections(eh.e_shnum);
    for (int i = 0; i < eh.e_shnum; ++i)
        std::memcpy(&sections[i], image.data() + eh.e_shoff + i * eh.e_shentsize, sizeof(Elf64_Shdr));
    for (const Elf64_Shdr& sh : sections) {
        if (sh.sh_type != SHT_DYNSYM) continue;
        const Elf64_Shdr& strtab = sections.at(sh.sh_link);
        for (std::size_t off = 0; off + sizeof(Elf64_Sym) <= sh.sh_size; off += sizeof(Elf64_Sym)) {
            Elf64_Sym sym;
            std::memcpy(&sym, image.data() + sh.sh_offset + off, sizeof sym);
            const int bind = ELF64_ST_BIND(sym.st_info);
            if (sym.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK)) continue;
            names.insert(image.data() + strtab.sh_offset + sym.st_name);
        }
    }
    return names;
}

std::set<std::string> HeaderDeclarations() {
    const std::string header = ReadFile(LUMACORE_HEADER);
    std::set<std::string> names;
    const std::regex decl(R"(LUMAPI[^;(]*?\b(lum\w+)\s*\()");
    for (auto it = std::sregex_iterator(header.begin(), header.end(), decl); it != std::sregex_iterator();
         ++it)
        names.insert((*it)[1]);
    return names;
}

TEST(LumacoreExports, ExactlyTheDeclaredSeventyTwo) {
    const std::set<std::string> declared = HeaderDeclarations();
    ASSERT_EQ(declared.size(), 72u);
    const std::set<std::string> exported = DefinedDynamicSymbols(ReadFile(LUMACORE_SO));
    std::vector<std::string> missing, extra;
    std::set_difference(declared.begin(), declared.end(), exported.begin(), exported.end(),
                        std::back_inserter(missing));
    std::set_difference(exported.begin(), exported.end(), declared.begin(), declared.end(),
                        std::back_inserter(extra));
    EXPECT_TRUE(missing.empty()) << "not exported: " << ::testing::PrintToString(missing);
    EXPECT_TRUE(extra.empty()) << "exported but not declared: " << ::testing::PrintToString(extra);
}

}  // namespace
