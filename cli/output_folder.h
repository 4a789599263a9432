// The output folder of -o, tested as the run tests it: files first ("No files
// added."), then the folder, when the first file comes. If it is missing or
// cannot be written, nothing is touched and the remaining sources are passed
// over.
#pragma once

#include <string>

namespace mv::cli {

class OutputFolder {
public:
    OutputFolder(bool toFolder, std::string outputDir);

    // Tests the folder at the first source; false, said, from then on when
    // it is missing or cannot be written.
    bool foundForSource();
    // A source came, whether or not the folder was found for it.
    bool anySource() const { return m_any; }
    bool missing() const { return m_missing; }
    // Says that the folder is missing, as the window does, naming it.
    void tellMissing() const;

private:
    bool m_toFolder;
    std::string m_outputDir;
    bool m_any = false;
    bool m_missing = false;
};

}  // namespace mv::cli
