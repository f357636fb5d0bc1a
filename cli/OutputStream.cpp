#include "OutputStream.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace tvl::cli {

namespace {
constexpr std::size_t kBufferSize = 1 << 16;
}

FdOutputBuf::FdOutputBuf(int fd, bool ownsFd) : m_fd(fd), m_ownsFd(ownsFd), m_buffer(kBufferSize)
{
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
}

FdOutputBuf::~FdOutputBuf()
{
    Close();
}

bool FdOutputBuf::WriteAll(const char* p, std::size_t n)
{
    while (n > 0 && m_errno == 0) {
        const ssize_t k = ::write(m_fd, p, n);
        if (k < 0) {
            if (errno != EINTR)
                m_errno = errno;
            continue;
        }
        if (k == 0) {
            m_errno = EIO;
            break;
        }
        p += k;
        n -= static_cast<std::size_t>(k);
    }
    return m_errno == 0;
}

bool FdOutputBuf::FlushBuffer()
{
    const std::size_t n = static_cast<std::size_t>(pptr() - pbase());
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    return WriteAll(m_buffer.data(), n);
}

FdOutputBuf::int_type FdOutputBuf::overflow(int_type ch)
{
    if (!FlushBuffer())
        return traits_type::eof();
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(ch);
        pbump(1);
    }
    return traits_type::not_eof(ch);
}

int FdOutputBuf::sync()
{
    return FlushBuffer() ? 0 : -1;
}

std::streamsize FdOutputBuf::xsputn(const char* s, std::streamsize n)
{
    if (m_errno)
        return 0;
    const std::size_t count = static_cast<std::size_t>(n);
    if (count <= static_cast<std::size_t>(epptr() - pptr())) {
        std::memcpy(pptr(), s, count);
        pbump(static_cast<int>(count));
        return n;
    }
    if (!FlushBuffer())
        return 0;
    if (count >= m_buffer.size())
        return WriteAll(s, count) ? n : 0;
    std::memcpy(pptr(), s, count);
    pbump(static_cast<int>(count));
    return n;
}

bool FdOutputBuf::Close()
{
    FlushBuffer();
    if (m_ownsFd && m_fd >= 0) {
        if (::close(m_fd) != 0 && m_errno == 0)
            m_errno = errno;
        m_fd = -1;
    }
    return m_errno == 0;
}

std::string WriteFailureReason(const std::ostream& out)
{
    const auto* buf = dynamic_cast<const FdOutputBuf*>(out.rdbuf());
    return buf && buf->Errno() ? std::strerror(buf->Errno()) : "write error";
}

} // namespace tvl::cli
