#include "stepfailure.h"

#include <cerrno>

StepFailure stepFailure(qint32 number) {
    switch (number) {
    case kBadFileNameOrNumber:
        return {number, QStringLiteral("Bad file name or number")};
    case kFileNotFound:
        return {number, QStringLiteral("File not found")};
    case kFileAlreadyExists:
        return {number, QStringLiteral("File already exists")};
    case kDiskFull:
        return {number, QStringLiteral("Disk full")};
    case kPermissionDenied:
        return {number, QStringLiteral("Permission denied")};
    case kPathNotFound:
        return {number, QStringLiteral("Path not found")};
    default:
        return {kPathFileAccessError, QStringLiteral("Path/File access error")};
    }
}

StepFailure stepFailureFromErrno(int error, bool missingIsPath) {
    switch (error) {
    case ENOENT:
        return stepFailure(missingIsPath ? kPathNotFound : kFileNotFound);
    case ENOTDIR:
        return stepFailure(kPathNotFound);
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return stepFailure(kPermissionDenied);
    case EEXIST:
        return stepFailure(kFileAlreadyExists);
    case ENOSPC:
    case EDQUOT:
        return stepFailure(kDiskFull);
    default:
        return stepFailure(kPathFileAccessError);
    }
}
