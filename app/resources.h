// The application's resources: dialog template 102, icon group 128 and the
// version block, as constant data.
#pragma once

#include "platform/ui/resources.h"

namespace dravenlok::app {

// The module the framework loads the resources from (AfxWinMain's argument).
[[nodiscard]] const ui::ResourceModule& Resources() noexcept;

}  // namespace dravenlok::app
