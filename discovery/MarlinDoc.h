// The document of the single-document application: it holds nothing.
#pragma once

#include <string>

namespace marlin {

class CMarlinDoc {
public:
    bool OnNewDocument();
    const std::string& GetTitle() const { return m_strTitle; }

private:
    std::string m_strTitle = "Untitled";
};

}  // namespace marlin
