#pragma once

#include <QString>

// A failed file-system step of the cycle, numbered and described as the
// operator's error log has always shown them:
//   52 Bad file name or number   the download folder cannot be reached
//   53 File not found
//   58 File already exists
//   61 Disk full
//   70 Permission denied
//   75 Path/File access error    any other failure of the file system
//   76 Path not found            a folder on the way does not exist
struct StepFailure {
    qint32 number = 0;
    QString description;
};

inline constexpr qint32 kBadFileNameOrNumber = 52;
inline constexpr qint32 kFileNotFound = 53;
inline constexpr qint32 kFileAlreadyExists = 58;
inline constexpr qint32 kDiskFull = 61;
inline constexpr qint32 kPermissionDenied = 70;
inline constexpr qint32 kPathFileAccessError = 75;
inline constexpr qint32 kPathNotFound = 76;

StepFailure stepFailure(qint32 number);

// The failure for an errno value. `missingIsPath` says whether a missing name
// means a missing folder on the way (76) rather than a missing file (53).
StepFailure stepFailureFromErrno(int error, bool missingIsPath = false);
