// Cutting a report into the parts a test compares.
#pragma once

#include <string>

namespace testing_support {

// Everything after the header report's last note: the table and dump sections.
std::string afterHeader(const std::string& text);
// Everything from the first dump section on.
std::string dumpsOf(const std::string& text);

}  // namespace testing_support
