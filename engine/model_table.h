#pragma once
// The built-in product model table and its download kinds.

#include <string>
#include <vector>

extern const char kModelTable[];

enum class DownloadKind { None, MainFirmware, IplFirmware, Font, PinCode, FriendlyName };

// Kind of a kind letter, without regard to case: M, I, U or C, P, F.
DownloadKind KindFromLetter(const std::string& letter);

// Splits modelCount models of a table text into their fields, in order,
// and the index of each model's name field. A model ends at its "."; a
// text that ends before that is refused (false), never read past its end.
bool SplitModelTable(const std::string& text, int modelCount,
                     std::vector<std::string>* fields,
                     std::vector<int>* modelStarts);
