// Output that knows when it was lost: a stream buffer over a file descriptor that keeps
// the reason of the first failed write, so that a full disc or a closed pipe is never
// reported as success.
#pragma once

#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace tvl::cli {

class FdOutputBuf final : public std::streambuf {
public:
    // Writes to fd; closes it in Close() or on destruction only when ownsFd.
    explicit FdOutputBuf(int fd, bool ownsFd = false);
    ~FdOutputBuf() override;
    FdOutputBuf(const FdOutputBuf&) = delete;
    FdOutputBuf& operator=(const FdOutputBuf&) = delete;

    // errno of the first write, flush or close that failed; 0 while none did. After a
    // failure nothing more is written and the stream sees every write fail.
    int Errno() const { return m_errno; }

    // Writes what is buffered and, when the descriptor is owned, closes it. Returns
    // false when anything written through this buffer was lost.
    bool Close();

protected:
    int_type overflow(int_type ch) override;
    int sync() override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;

private:
    bool WriteAll(const char* p, std::size_t n);
    bool FlushBuffer();

    int m_fd;
    bool m_ownsFd;
    int m_errno = 0;
    std::vector<char> m_buffer;
};

// Why writing to out failed: the system's text for the error of its FdOutputBuf, or
// "write error" for another kind of stream.
std::string WriteFailureReason(const std::ostream& out);

} // namespace tvl::cli
