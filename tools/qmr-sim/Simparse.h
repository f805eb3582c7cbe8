#pragma once
// Lexing of SCPI program messages as the instrument reads them: units between ';', header
// keywords in short or long form, parameters between ',', numbers, booleans and addresses.
// Numbers are read without regard to the process locale.

#include <string>
#include <string_view>
#include <vector>

namespace qmrsim {

std::string Upper(std::string_view text);
std::string_view Trim(std::string_view text);

// Splits a header path at ':' (an empty text gives one empty node).
std::vector<std::string> SplitNodes(std::string_view path);
// True when `given` names the keyword `definition`, whose upper-case letters are its short
// form: any abbreviation from the short form up to the long form, in any letter case.
bool KeywordMatches(std::string_view definition, std::string_view given);
// Splits a line at the ';' that lie outside quoted strings.
std::vector<std::string_view> SplitUnits(std::string_view line);
// Splits a parameter text at ',' and trims each parameter; an empty text gives none.
std::vector<std::string> SplitParams(std::string_view text);

// Decimal numbers ("50.5", "+5.05E1"): false when the text is not wholly a finite number.
bool ParseDouble(const std::string& text, double& value);
// Whole numbers (a decimal form with no fraction counts, "1000.0").
bool ParseInt(const std::string& text, int& value);
// Boolean program data: ON or 1 gives 1, OFF or 0 gives 0, anything else -1.
int ParseBool(const std::string& text);
// Four dotted decimal parts from 0 to 255.
bool IsDottedAddress(const std::string& text);
// Removes one pair of surrounding double or single quotes.
std::string Unquote(const std::string& text);

} // namespace qmrsim
