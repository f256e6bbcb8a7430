// The document of the single-document application: it holds nothing.
#pragma once

namespace marlin {

class CMarlinDoc {
public:
    bool OnNewDocument();
};

}  // namespace marlin
