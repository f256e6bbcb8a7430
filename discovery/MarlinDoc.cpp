#include "MarlinDoc.h"

namespace marlin {

bool CMarlinDoc::OnNewDocument()
{
    m_strTitle = "";
    return true;
}

}  // namespace marlin
