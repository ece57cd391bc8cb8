// Entry of touch processing: one completed interrupt-IN report of a controller.
#pragma once

#include "ce/types.h"
#include "core/device_context.h"

// 0, or ERROR_INVALID_PARAMETER (87) when the generation's handler refused the report.
DWORD ProcessReport(const BYTE* pReport, DWORD cbTransferred, DEVICE_CONTEXT* pDevice);
