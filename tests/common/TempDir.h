// A temporary directory for tests that work on real files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tvl::test {

// A temporary directory, removed with everything below it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return m_path; }
    // Creates directories along rel (relative, '/'-separated).
    void MakeDirs(const std::string& rel) const;
    // Creates a file of `size` bytes (sparse: nothing is written).
    void MakeFile(const std::string& rel, std::uint64_t size) const;
    std::string Abs(const std::string& rel) const { return m_path + "/" + rel; }
    // Names of the directory's own entries, sorted.
    std::vector<std::string> Entries() const;

private:
    std::string m_path;
};

} // namespace tvl::test
