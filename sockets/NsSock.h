// The socket framework in one include: Winsock access and errors, the base and data
// sockets, the socket control with its client base, and the logs.
#pragma once

#include "sockets/NsConst.h"
#include "sockets/NsMessages.h"
#include "sockets/NsSockAccess.h"
#include "sockets/NsSockBase.h"
#include "sockets/NsSockControl.h"
#include "sockets/NsSockData.h"
#include "sockets/NsSockLog.h"
