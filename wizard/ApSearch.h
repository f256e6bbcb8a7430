// The AP search: runs the discovery program, reads the AP table it leaves
// in the shared settings key and lets the user choose an AP in `dialog`.
#pragma once

#include <optional>
#include <string>
#include <vector>

class QWidget;
class TFormAPList;

namespace tidewell {

inline constexpr const char* kCouldNotRunSearch = "Could not run search AP program";
inline constexpr const char* kOverflowWarning =
    "The found APs exceed the maximum number of the AP list table: %1.";
inline constexpr const char* kSearchPathTooLong =
    "The path of the search AP program is longer than 255 characters:\n%1";

// How long the search waits for the discovery program to end.
struct ApSearchTiming {
    int beaconryWaitMs = 4000;
};

// One row of the AP list: an address and, when the version list had a
// token for it, its version.
struct ApTableRow {
    std::string address;
    std::optional<std::string> version;
    bool operator==(const ApTableRow&) const = default;
};

struct ApTable {
    std::vector<ApTableRow> rows;
    std::optional<int> overflow;  // the number of the overflow warning, when one is due
};

// Splits ApIpAddress and ApVersion into rows, pass by pass: a version token
// belongs to the row of its pass; the last address is listed only while
// version text remains; a last token with ">" (and no version left) is the
// overflow marker, its number read after the ">" (256 when not a number).
ApTable ParseApTable(std::string addresses, std::string versions);

// The path the search starts: `appDir` + "/Beaconry" when the program is
// there, else `appDir` + "/Update/Beaconry" (with the platform's separator
// and executable suffix). nullopt when it does not fit 255 characters.
std::optional<std::string> SearchProgramPath(const std::string& appDir);

// `owner` is the main window (owner of the message boxes), `appDir` the
// start-up directory. Gives true when the dialog ended with OK: IpAddress
// is then written and `curApVersion` holds the chosen AP's version key.
// The caller then starts the update procedure. A registry value of another
// type than a string throws kavo::RegistryError, for the standard report.
bool SearchAccessPoints(QWidget* owner, TFormAPList& dialog, const std::string& appDir,
                        std::string& curApVersion, const ApSearchTiming& timing = {});

}  // namespace tidewell
