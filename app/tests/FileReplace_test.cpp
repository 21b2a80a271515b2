#include "app/FileReplace.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

// Files in memory. A write that is told to fail stores only the first half of the bytes, the way
// a full disk or a lost share leaves a file.
class FakeFiles final : public app::IReplaceFileSystem {
  public:
    std::map<std::string, std::string> files;
    bool failCreate = false;
    bool failWrite = false;
    bool failReplace = false;

    std::optional<std::string> CreateTempBeside(const std::string& path) override {
        if (failCreate) {
            return std::nullopt;
        }
        const std::string temp = path.substr(0, path.rfind('\\') + 1) + "tmp" + std::to_string(++_count);
        files[temp] = "";
        return temp;
    }
    bool WriteAll(const std::string& file, std::string_view bytes) override {
        files[file] = std::string(failWrite ? bytes.substr(0, bytes.size() / 2) : bytes);
        return !failWrite;
    }
    bool ReplaceWith(const std::string& path, const std::string& temp) override {
        if (failReplace) {
            return false;
        }
        files[path] = files.at(temp);
        files.erase(temp);
        return true;
    }
    void Remove(const std::string& file) override { files.erase(file); }

  private:
    int _count = 0;
};

TEST(WriteFileReplacing, OldFileStaysWholeWhateverStepFails) {
    const std::string path = "C:\\ProgramData\\Pesora\\Pesora.Ini";
    const std::string before = "[Settings]\r\nHotKey=120\r\nUnknown=keep\r\n";
    const std::string after = "[Settings]\r\nHotKey=121\r\nUnknown=keep\r\nPreamble={TAB}\r\n";
    struct Row {
        int line;
        bool failCreate, failWrite, failReplace;
        bool ok;
    } rows[] = {
        {__LINE__, false, false, false, true},
        {__LINE__, true, false, false, false},
        {__LINE__, false, true, false, false},
        {__LINE__, false, false, true, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        FakeFiles fs;
        fs.files[path] = before;
        fs.failCreate = r.failCreate;
        fs.failWrite = r.failWrite;
        fs.failReplace = r.failReplace;
        EXPECT_EQ(app::WriteFileReplacing(fs, path, after), r.ok);
        EXPECT_EQ(fs.files.at(path), r.ok ? after : before);
        EXPECT_EQ(fs.files.size(), 1u);  // no temporary file left behind
    }
}

TEST(WriteFileReplacing, CreatesAFileThatWasMissing) {
    FakeFiles fs;
    EXPECT_TRUE(app::WriteFileReplacing(fs, "C:\\x\\a.Ini", "abc"));
    EXPECT_EQ(fs.files, (std::map<std::string, std::string>{{"C:\\x\\a.Ini", "abc"}}));
}

}  // namespace
