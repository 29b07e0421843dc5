// The application framework in one include: texts, exceptions, message
// boxes, message maps, windows, dialogs and the application object.
#pragma once

#include "platform/mfc/cstring.h"
#include "platform/mfc/dialog.h"
#include "platform/mfc/exception.h"
#include "platform/mfc/message_box.h"
#include "platform/mfc/win_app.h"
#include "platform/mfc/wnd.h"
