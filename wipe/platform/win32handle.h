#ifndef WIN32HANDLE_H
#define WIN32HANDLE_H

// A Win32 handle closed with its owner, for the layer's Windows sides.

#include <windows.h>

namespace platformfile {

class Handle
{
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : m_handle(h) {}
    ~Handle()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    HANDLE get() const { return m_handle; }
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    void reset(HANDLE h)
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
        m_handle = h;
    }
    HANDLE release()
    {
        const HANDLE h = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return h;
    }

private:
    HANDLE m_handle;
};

} // namespace platformfile

#endif // WIN32HANDLE_H
