// Mach messages to ports made with CFMachPortCreate, and the host clock.
#pragma once

#include "platform/MacTypes.h"

typedef UInt32 mach_port_t;
typedef int kern_return_t;
typedef UInt32 mach_msg_bits_t;
typedef UInt32 mach_msg_size_t;
typedef SInt32 mach_msg_id_t;
typedef UInt32 mach_msg_option_t;
typedef UInt32 mach_msg_timeout_t;
typedef kern_return_t mach_msg_return_t;

enum : kern_return_t { KERN_SUCCESS = 0, KERN_INVALID_ARGUMENT = 4 };
enum : mach_msg_return_t { MACH_SEND_INVALID_DEST = 0x10000003 };
enum : mach_msg_option_t { MACH_SEND_MSG = 1, MACH_RCV_MSG = 2 };
enum : mach_msg_bits_t { MACH_MSG_TYPE_MAKE_SEND = 20, MACH_MSG_TYPE_COPY_SEND = 19 };
constexpr mach_port_t MACH_PORT_NULL = 0;
constexpr mach_msg_timeout_t MACH_MSG_TIMEOUT_NONE = 0;

#define MACH_MSGH_BITS(remote, local) ((remote) | ((local) << 8))

// 24 bytes: the whole stop message of the driver is this header.
struct mach_msg_header_t {
    mach_msg_bits_t msgh_bits;
    mach_msg_size_t msgh_size;
    mach_port_t msgh_remote_port;
    mach_port_t msgh_local_port;
    mach_port_t msgh_voucher_port;
    mach_msg_id_t msgh_id;
};
static_assert(sizeof(mach_msg_header_t) == 24);

// Sends msg to msg->msgh_remote_port: the port's callback runs on the run
// loop that services the port's source. A message to an unknown or
// invalidated port is dropped and reported with MACH_SEND_INVALID_DEST.
PLATFORM_EXPORT mach_msg_return_t mach_msg(mach_msg_header_t* msg, mach_msg_option_t option,
                                           mach_msg_size_t send_size, mach_msg_size_t rcv_size,
                                           mach_port_t rcv_name, mach_msg_timeout_t timeout, mach_port_t notify);

struct mach_timebase_info_data_t {
    UInt32 numer;
    UInt32 denom;
};
typedef mach_timebase_info_data_t* mach_timebase_info_t;

// Host ticks since an arbitrary start; monotonic.
PLATFORM_EXPORT UInt64 mach_absolute_time();
PLATFORM_EXPORT kern_return_t mach_timebase_info(mach_timebase_info_t info);
