#include "MarlinDoc.h"

namespace marlin {

bool CMarlinDoc::OnNewDocument()
{
    return true;  // nothing to hold, and no title is ever shown
}

}  // namespace marlin
