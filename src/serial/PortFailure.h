#pragma once

#include <cerrno>
#include <cstdint>

namespace serial {

// Why a device could not be opened, in the terms the user can act on.
enum class TPortFailure : uint8_t {
    None,
    NoPermission, // the user is not allowed to open the device
    Busy,         // another program holds it
    NoDevice,     // nothing is there (unplugged, wrong path, no UART behind the node)
    NotSerial,    // something is there, but it is no serial port
    Other,
};

inline TPortFailure ClassifyOpenError(int error) {
    switch (error) {
    case 0:
        return TPortFailure::None;
    case EACCES:
    case EPERM:
    case EROFS:
        return TPortFailure::NoPermission;
    case EBUSY:
    case EWOULDBLOCK:
        return TPortFailure::Busy;
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
    case EIO:
        return TPortFailure::NoDevice;
    case EISDIR:
    case ENOTTY:
        return TPortFailure::NotSerial;
    default:
        return TPortFailure::Other;
    }
}

} // namespace serial
