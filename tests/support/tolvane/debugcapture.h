#pragma once
// Lines written to the debug output while a capture lives; captures may nest, and the
// lines still reach the handler that was installed before.

#include <string>
#include <vector>

namespace testsupport {

class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::string> Lines() const;
    bool Contains(const std::string& text) const;
};

}  // namespace testsupport
