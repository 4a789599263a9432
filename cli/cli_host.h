// The command line as the host of a conversion run: the files given are the
// rows, "-o DIR" is the first output option, progress goes to the terminal.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "app/run/host.h"
#include "cli/terminal.h"

namespace mv::cli {

class CliHost : public app::Host {
public:
    CliHost(std::vector<std::u16string> rows, bool toFolder, std::u16string folder,
            Terminal& terminal);

    std::int64_t rowCount() const override;
    std::u16string rowText(std::int64_t row) const override;
    bool option1() const override { return m_toFolder; }
    bool option2() const override { return !m_toFolder; }
    std::u16string folderText() const override { return m_folder; }
    void setProgressValue(double percent) override;
    void setProgressText(const std::u16string& text) override;
    void setPointer(app::Pointer) override {}
    void yield() override {}
    void showMessage(const std::u16string& text) override;

    // The messages the run showed, in order.
    const std::vector<std::u16string>& messages() const { return m_messages; }

private:
    std::vector<std::u16string> m_rows;
    bool m_toFolder;
    std::u16string m_folder;
    Terminal& m_terminal;
    std::vector<std::u16string> m_messages;
};

}  // namespace mv::cli
