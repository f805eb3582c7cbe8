// libbramble.so exports exactly the extern "C" names that its header declares: no C++ symbol
// and nothing else leaks out of it.

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>
#include <string>

namespace {

bool IsNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// The identifier that ends just before `end` (blanks skipped).
std::string NameBefore(const std::string& s, size_t end)
{
    while (end > 0 && std::isspace(static_cast<unsigned char>(s[end - 1]))) {
        --end;
    }
    size_t begin = end;
    while (begin > 0 && IsNameChar(s[begin - 1])) {
        --begin;
    }
    return s.substr(begin, end - begin);
}

// The names that Bramble.h declares with BRAMBLE_API (functions and variables).
std::set<std::string> DeclaredNames(const std::string& header)
{
    // Comments and preprocessor lines out, then one declaration per ';'.
    std::string text;
    for (size_t i = 0; i < header.size();) {
        if (header.compare(i, 2, "//") == 0) {
            i = header.find('\n', i);
        } else if (header.compare(i, 2, "/*") == 0) {
            size_t end = header.find("*/", i + 2);
            i = end == std::string::npos ? end : end + 2;
        } else if (header[i] == '#' && (text.empty() || text.find_last_not_of(" \t") == std::string::npos ||
                                        text[text.find_last_not_of(" \t")] == '\n')) {
            i = header.find('\n', i);
        } else {
            text += header[i++];
        }
        if (i == std::string::npos) {
            break;
        }
    }
    std::set<std::string> names;
    std::stringstream in(text);
    std::string decl;
    while (std::getline(in, decl, ';')) {
        if (decl.find("BRAMBLE_API") == std::string::npos) {
            continue;
        }
        size_t paren = decl.find('(');
        size_t end = paren != std::string::npos ? paren : std::min(decl.find_first_of("[="), decl.size());
        std::string name = NameBefore(decl, end);
        if (!name.empty()) {
            names.insert(name);
        }
    }
    return names;
}

TEST(BrambleSymbols, HeaderDeclaresTheSerialFamily)
{
    std::set<std::string> declared = DeclaredNames(qmrtest::ReadFile(QMR_BRAMBLE_HEADER));
    for (const char* name : {"_SetSioDmy", "_EnbBeep", "_Rs232Open", "_Rs232Close", "_Rs232Recv", "_Rs_ClrBreak",
                             "_Rs232Name", "_Rs232BufferClear", "_FormDlgSioDmy"}) {
        EXPECT_EQ(declared.count(name), 1u) << name;
    }
    EXPECT_EQ(declared.count("BRAMBLE_API"), 0u);
}

TEST(BrambleSymbols, HeaderDeclaresPrintingBeepsAndClipboard)
{
    std::set<std::string> declared = DeclaredNames(qmrtest::ReadFile(QMR_BRAMBLE_HEADER));
    for (const char* name : {"_FormPrinterSetup", "_PrinterSelect", "_PrinterSetup", "_HdCopyToFile", "_HdCopyToPrn",
                             "_EnbBeep", "_ErBeep", "_OkBeep", "_AlBeep", "_CopyToClipboard", "_PasteFromClipboard"}) {
        EXPECT_EQ(declared.count(name), 1u) << name;
    }
}

TEST(BrambleSymbols, LibraryExportsExactlyTheDeclaredNames)
{
    std::set<std::string> declared = DeclaredNames(qmrtest::ReadFile(QMR_BRAMBLE_HEADER));
    std::set<std::string> exported = qmrtest::ExportedSymbols(QMR_BRAMBLE_LIBRARY);
    ASSERT_FALSE(exported.empty()) << "nm gave nothing for " << QMR_BRAMBLE_LIBRARY;
    for (const std::string& name : declared) {
        EXPECT_EQ(exported.count(name), 1u) << "declared but not exported: " << name;
    }
    for (const std::string& name : exported) {
        EXPECT_EQ(declared.count(name), 1u) << "exported but not declared: " << name;
        EXPECT_NE(name.rfind("_Z", 0), 0u) << "a C++ symbol is exported: " << name;
    }
}

} // namespace
