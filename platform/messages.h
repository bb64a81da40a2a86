#pragma once
// The messages between the workers, the engine and the main dialog. Codes
// lie in the application range from 1280 (0x500); unlisted codes carry no
// meaning.

#include "platform/types.h"

constexpr UINT WM_APP_BASE = 0x500;

constexpr UINT WM_CLOSE_PROGRESS = 1281;
constexpr UINT WM_OPEN_PROGRESS = 1282;
constexpr UINT WM_UPDATE_PROGRESS = 1284;
constexpr UINT WM_DOWNLOAD_DONE = 1286;
constexpr UINT WM_ENABLE_CONTROLS = 1287;
constexpr UINT WM_SET_PROGRESS_RANGE = 1288;
constexpr UINT WM_SET_AUTO_STEP = 1289;
constexpr UINT WM_SEND_USB_ENDED = 1296;
constexpr UINT WM_RECV_USB_ENDED = 1298;
constexpr UINT WM_START_RECV_USB = 1300;
constexpr UINT WM_DISABLE_CANCEL = 1304;
