#include "dialog_test_support.h"

#include <unistd.h>

#include <QApplication>
#include <fstream>
#include <memory>
#include <sstream>

#include "tests/support/fake_probe.h"

namespace fs = std::filesystem;

std::string Crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

std::string ReadFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteFileBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

namespace {

// One QApplication for the whole test program, gone before main returns.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        m_app = std::make_unique<QApplication>(m_argc, m_argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    int m_argc = 1;
    char m_name[12] = "dialog_test";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QApplication> m_app;
};

[[maybe_unused]] const ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

void DialogTest::SetUp() {
    m_previous = fs::current_path();
    m_folder = fs::temp_directory_path() /
               ("zarv-dialog-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_folder);
    fs::create_directories(m_folder);
    fs::current_path(m_folder);
    ResetFakeProbe();
}

void DialogTest::TearDown() {
    fs::current_path(m_previous);
    fs::permissions(m_folder, fs::perms::owner_all);
    fs::remove_all(m_folder);
}
