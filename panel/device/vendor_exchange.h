// One vendor command through the driver's pass-through codes, on "OTS1:" whatever the
// controller: SetCommand for control commands (class 1), ceGetCommand for block reads
// (class 2). Each tries retry count + 1 times, 20 ms apart.
#pragma once

#include <span>

#include "ce/types.h"
#include "device/vendor_command_request.h"

// Both return FALSE at once for a request of the other kind, and FALSE (not an exception) when
// memory runs out. The reply of SetCommand is discarded; ceGetCommand's reaches *pReply only
// when the exchange succeeded.
BOOL SetCommand(DWORD dwReserved, const VendorCommandRequest& request, INT nRetry);
BOOL ceGetCommand(DWORD dwReserved, const VendorCommandRequest& request, VendorReply* pReply,
                  INT nRetry);

// The same exchanges for the camera sequences, which must see an allocation failure (it throws
// std::bad_alloc) to close their bracket.
BOOL SendControlCommand(const VendorCommandRequest& request, INT nRetry);
BOOL SendReadCommand(const VendorCommandRequest& request, VendorReply& reply, INT nRetry);
