#pragma once

#include <QString>

#include <cstdio>

// One line of a command's output, UTF-8, written at once (scripts and service
// logs read it as it comes).
void printLine(std::FILE* stream, const QString& line);
