#include "Simparse.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace qmrsim {

std::string Upper(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

std::vector<std::string> SplitNodes(std::string_view path)
{
    std::vector<std::string> nodes;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        nodes.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return nodes;
}

bool KeywordMatches(std::string_view definition, std::string_view given)
{
    size_t shortLength = 0;
    while (shortLength < definition.size() && !std::islower(static_cast<unsigned char>(definition[shortLength]))) {
        ++shortLength;
    }
    std::string full = Upper(definition);
    std::string typed = Upper(given);
    return typed.size() >= shortLength && typed.size() <= full.size() && full.compare(0, typed.size(), typed) == 0;
}

std::vector<std::string_view> SplitUnits(std::string_view line)
{
    std::vector<std::string_view> units;
    char quote = 0;
    size_t start = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            units.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    }
    units.push_back(line.substr(start));
    return units;
}

std::vector<std::string> SplitParams(std::string_view text)
{
    std::vector<std::string> params;
    text = Trim(text);
    if (text.empty()) {
        return params;
    }
    size_t start = 0;
    while (true) {
        size_t end = text.find(',', start);
        params.emplace_back(Trim(text.substr(start, end == std::string_view::npos ? end : end - start)));
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return params;
}

bool ParseDouble(const std::string& text, double& value)
{
    std::string_view t = text;
    if (!t.empty() && t.front() == '+') {
        t.remove_prefix(1);
    }
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    return ec == std::errc() && end == t.data() + t.size() && std::isfinite(value);
}

bool ParseInt(const std::string& text, int& value)
{
    double d = 0;
    if (!ParseDouble(text, d) || d != std::floor(d) || d < -1e9 || d > 1e9) {
        return false;
    }
    value = static_cast<int>(d);
    return true;
}

int ParseBool(const std::string& text)
{
    std::string t = Upper(text);
    if (t == "ON" || t == "1") {
        return 1;
    }
    if (t == "OFF" || t == "0") {
        return 0;
    }
    return -1;
}

bool IsDottedAddress(const std::string& text)
{
    int parts = 0;
    size_t i = 0;
    while (i <= text.size()) {
        size_t end = text.find('.', i);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string part = text.substr(i, end - i);
        if (part.empty() || part.size() > 3 ||
            !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
            std::stoi(part) > 255) {
            return false;
        }
        ++parts;
        i = end + 1;
    }
    return parts == 4;
}

std::string Unquote(const std::string& text)
{
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front()) {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

} // namespace qmrsim
