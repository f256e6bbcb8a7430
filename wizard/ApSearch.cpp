#include "ApSearch.h"

#include "Aplist.h"

namespace tidewell {

bool SearchAccessPoints(QWidget*, TFormAPList&, const std::string&, std::string&)
{
    return false;  // not built yet
}

}  // namespace tidewell
