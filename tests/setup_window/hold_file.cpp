// Holds a file open without any sharing, as another program on the line
// would, until it is told to let go:
//   hold_file <path> <ready event name> <release event name>
// Exit 0 after a release; 2 bad arguments; 3 the file cannot be opened;
// 4 an event is missing; 5 no release came in time.
#include "platform/win32/Handles.h"

#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    HANDLE raw = ::CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (raw == INVALID_HANDLE_VALUE)
        return 3;
    win32::KernelHandle file(raw);
    win32::KernelHandle ready(::OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]));
    win32::KernelHandle release(::OpenEventA(SYNCHRONIZE, FALSE, argv[3]));
    if (!ready || !release)
        return 4;
    ::SetEvent(ready.get());
    return ::WaitForSingleObject(release.get(), 120000) == WAIT_OBJECT_0 ? 0 : 5;
}
