// The exception of a failed run, its texts made once when it is thrown.
#include "omra/omra.h"

#include "Text.h"

#include <cstdio>

CCFTException::CCFTException(const char* sourcePath, int line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string message = vantor::VFormat(format, args);
    va_end(args);
    vantor::CopyField(m_message, sizeof m_message, message.c_str());
    std::snprintf(m_fullText, sizeof m_fullText, "%s\n\nFILE:\t%s\nLINE:\t%04d\n", m_message,
                  vantor::BaseName(sourcePath), line);
}
