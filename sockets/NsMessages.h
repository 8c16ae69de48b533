// Window messages of the socket framework and the SNTP client, in one place so no two
// components pick the same number. All of them go to a component's hidden window.
#pragma once

#include "platform/winapi.h"

// WParam: request handle; LParam: low word buffer length, high word Winsock error.
constexpr UINT NS_LOOKUPDONE_MSG = 4752;
// Posted by Winsock (WSAAsyncSelect). WParam: socket; LParam: low word event, high word error.
constexpr UINT NS_SOCKETEVENT_MSG = 4753;
// Posted to attached windows. WParam: socket; LParam: 0x10001 connected, 0x10002 closed.
constexpr UINT NS_STATUSPOST_MSG = 4754;
// WParam: socket to free once the current message is done with it.
constexpr UINT NS_FREESOCKET_MSG = 4755;
// WParam: socket; LParam: TNsDeferredReply* (owned by the message).
constexpr UINT NS_DEFERREDREPLY_MSG = 4756;
// Posted to monitor windows. WParam: heap copy of received bytes (new char[]), LParam: length.
constexpr UINT NS_MONITORDATA_MSG = 4757;
// WParam: socket; asks the data socket to send its Telnet window size.
constexpr UINT NS_SOCKETNOTIFY_MSG = 4758;
// The SNTP client's answer-ready message.
constexpr UINT NS_SNTPANSWER_MSG = 4763;
