#include "store/accounts.h"

#include "store/main_window.h"

namespace kelvo {

void ApplyPermissions()
{
    if (!gPermissions)
        return;
}

}  // namespace kelvo
