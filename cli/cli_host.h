// The command line as the host of a conversion run: the files given are the
// rows, "-o DIR" is the first output option, progress goes to the terminal.
// The output folder box is read again for every row, as the run does, so
// each row may name its own folder (a tree mirrored under DIR).
#pragma once

#include <string>
#include <vector>

#include "cli/terminal.h"
#include "run/host.h"

namespace mv::cli {

class CliHost : public run::Host {
public:
    CliHost(std::vector<std::u16string> rows, bool toFolder, std::u16string folder,
            Terminal& terminal, std::vector<std::u16string> rowFolders = {});

    std::int64_t rowCount() const override;
    std::u16string rowText(std::int64_t row) const override;
    bool option1() const override { return m_toFolder; }
    bool option2() const override { return !m_toFolder; }
    std::u16string folderText(std::int64_t row) const override;
    void setProgressValue(double percent) override;
    void setProgressText(const std::u16string& text) override;
    void setPointer(run::Pointer) override {}
    void yield() override {}
    void chunkProgress(std::int64_t chunk, std::int64_t expected) override;
    void showMessage(const std::u16string& text) override;

    const std::vector<std::u16string>& rows() const { return m_rows; }

private:
    std::vector<std::u16string> m_rows;
    bool m_toFolder;
    std::u16string m_folder;
    std::vector<std::u16string> m_rowFolders;  // per row; empty: m_folder for all
    Terminal& m_terminal;
};

}  // namespace mv::cli
