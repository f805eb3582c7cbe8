#include "CommSettings.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace qmr::platform {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool ParseBaud(std::string_view v, unsigned& out)
{
    if (v.empty() || v.size() > 10) {
        return false;
    }
    uint64_t n = 0;
    for (char c : v) {
        if (c < '0' || c > '9') {
            return false;
        }
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    if (n == 0 || n > 4000000000ULL) {
        return false;
    }
    // The two-digit abbreviations of the classic rates.
    switch (n) {
    case 11:
        n = 110;
        break;
    case 15:
        n = 150;
        break;
    case 30:
        n = 300;
        break;
    case 60:
        n = 600;
        break;
    case 12:
        n = 1200;
        break;
    case 24:
        n = 2400;
        break;
    case 48:
        n = 4800;
        break;
    case 96:
        n = 9600;
        break;
    case 19:
        n = 19200;
        break;
    default:
        break;
    }
    out = static_cast<unsigned>(n);
    return true;
}

bool ParseParity(std::string_view v, char& out)
{
    if (v.size() != 1) {
        return false;
    }
    switch (Lower(v[0])) {
    case 'n':
        out = 'N';
        return true;
    case 'e':
        out = 'E';
        return true;
    case 'o':
        out = 'O';
        return true;
    case 'm':
        out = 'M';
        return true;
    case 's':
        out = 'S';
        return true;
    default:
        return false;
    }
}

bool ParseData(std::string_view v, int& out)
{
    if (v.size() != 1 || v[0] < '5' || v[0] > '8') {
        return false;
    }
    out = v[0] - '0';
    return true;
}

bool ParseStop(std::string_view v, int& out)
{
    if (v == "1") {
        out = 10;
    } else if (v == "1.5") {
        out = 15;
    } else if (v == "2") {
        out = 20;
    } else {
        return false;
    }
    return true;
}

bool ParseOnOff(std::string_view v, bool& out)
{
    if (EqualsNoCase(v, "on")) {
        out = true;
    } else if (EqualsNoCase(v, "off")) {
        out = false;
    } else {
        return false;
    }
    return true;
}

// "on", "off", "hs" and, for RTS only, "tg".
bool ParseLineControl(std::string_view v, bool allowToggle, char& out)
{
    if (EqualsNoCase(v, "on")) {
        out = 'Y';
    } else if (EqualsNoCase(v, "off")) {
        out = 'N';
    } else if (EqualsNoCase(v, "hs")) {
        out = 'H';
    } else if (allowToggle && EqualsNoCase(v, "tg")) {
        out = 'T';
    } else {
        return false;
    }
    return true;
}

// `value` is taken by reference: it is read only after the parse beside it has filled it.
template <class T>
bool Store(bool ok, const T& value, std::optional<T>& field)
{
    if (ok) {
        field = value;
    }
    return ok;
}

bool ParseKeyValue(std::string_view token, CommSettings& out)
{
    size_t eq = token.find('=');
    if (eq == std::string_view::npos || eq == 0) {
        return false;
    }
    std::string_view key = token.substr(0, eq);
    std::string_view v = token.substr(eq + 1);
    unsigned u = 0;
    int i = 0;
    char c = 0;
    bool b = false;
    if (EqualsNoCase(key, "baud")) {
        return Store(ParseBaud(v, u), u, out.baud);
    }
    if (EqualsNoCase(key, "parity")) {
        return Store(ParseParity(v, c), c, out.parity);
    }
    if (EqualsNoCase(key, "data")) {
        return Store(ParseData(v, i), i, out.dataBits);
    }
    if (EqualsNoCase(key, "stop")) {
        return Store(ParseStop(v, i), i, out.stopTenths);
    }
    if (EqualsNoCase(key, "to")) {
        return Store(ParseOnOff(v, b), b, out.timeoutRetry);
    }
    if (EqualsNoCase(key, "xon")) {
        return Store(ParseOnOff(v, b), b, out.xonXoff);
    }
    if (EqualsNoCase(key, "odsr")) {
        return Store(ParseOnOff(v, b), b, out.outputDsrFlow);
    }
    if (EqualsNoCase(key, "octs")) {
        return Store(ParseOnOff(v, b), b, out.outputCtsFlow);
    }
    if (EqualsNoCase(key, "dtr")) {
        return Store(ParseLineControl(v, false, c), c, out.dtr);
    }
    if (EqualsNoCase(key, "rts")) {
        return Store(ParseLineControl(v, true, c), c, out.rts);
    }
    if (EqualsNoCase(key, "idsr")) {
        return Store(ParseOnOff(v, b), b, out.inputDsr);
    }
    return false;
}

bool ParseKeyValueForm(std::string_view rest, CommSettings& out)
{
    bool any = false;
    while (true) {
        rest = Trim(rest);
        if (rest.empty()) {
            return any;
        }
        size_t end = 0;
        while (end < rest.size() && !IsBlank(rest[end])) {
            ++end;
        }
        if (!ParseKeyValue(rest.substr(0, end), out)) {
            return false;
        }
        any = true;
        rest.remove_prefix(end);
    }
}

// "baud[,parity[,data[,stop[,retry]]]]"; a field left empty is not set.
bool ParseShortForm(std::string_view rest, CommSettings& out)
{
    std::string_view fields[5];
    int count = 0;
    while (true) {
        size_t comma = rest.find(',');
        if (count == 5) {
            return false;
        }
        fields[count++] = Trim(rest.substr(0, comma));
        if (comma == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(comma + 1);
    }
    unsigned u = 0;
    int i = 0;
    char c = 0;
    if (fields[0].empty() || !Store(ParseBaud(fields[0], u), u, out.baud)) {
        return false;
    }
    if (count > 1 && !fields[1].empty() && !Store(ParseParity(fields[1], c), c, out.parity)) {
        return false;
    }
    if (count > 2 && !fields[2].empty() && !Store(ParseData(fields[2], i), i, out.dataBits)) {
        return false;
    }
    if (count > 3 && !fields[3].empty() && !Store(ParseStop(fields[3], i), i, out.stopTenths)) {
        return false;
    }
    if (count > 4 && !fields[4].empty()) {
        if (fields[4].size() != 1) {
            return false;
        }
        switch (Lower(fields[4][0])) {
        case 'x':
            out.xonXoff = true;
            out.outputCtsFlow = false;
            out.outputDsrFlow = false;
            out.dtr = 'Y';
            out.rts = 'Y';
            break;
        case 'p':
            out.xonXoff = false;
            out.outputCtsFlow = true;
            out.outputDsrFlow = true;
            out.dtr = 'H';
            out.rts = 'H';
            break;
        default:
            return false;
        }
    }
    return true;
}

} // namespace

bool ParseCommSettings(std::string_view text, CommSettings& out)
{
    out = CommSettings{};
    std::string_view rest = Trim(text);
    // An optional device name in front: "COM1:" or "COM1 ".
    if (rest.size() > 3 && EqualsNoCase(rest.substr(0, 3), "com") && rest[3] >= '0' && rest[3] <= '9') {
        size_t p = 3;
        while (p < rest.size() && rest[p] >= '0' && rest[p] <= '9') {
            ++p;
        }
        bool colon = p < rest.size() && rest[p] == ':';
        if (colon) {
            ++p;
        } else if (p < rest.size() && !IsBlank(rest[p])) {
            return false;
        }
        rest = Trim(rest.substr(p));
    }
    if (rest.empty()) {
        return false;
    }
    if (rest.find('=') != std::string_view::npos) {
        return ParseKeyValueForm(rest, out);
    }
    return ParseShortForm(rest, out);
}

} // namespace qmr::platform
