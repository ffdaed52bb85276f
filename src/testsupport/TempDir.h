// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include <string>

namespace zelvo::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // Ends in '/'.
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

}  // namespace zelvo::test
