// What the user is told when a job returns: the status text for a result code
// on a given tab, and whether the log is then shown (failure) or deleted.
#pragma once

#include <cstdint>
#include <string>

namespace vok {

enum class Tab { SjisToJef = 1, JefToSjis = 2, Pattern = 3 };

struct ResultReport {
    std::string text;       // UTF-8
    bool showLog = false;   // true: show the error dialog and keep the log
};

ResultReport resultReport(Tab tab, std::int32_t code);

}  // namespace vok
