// What a conversion run reads from and writes to its window. The Qt window is
// one host, the command line another, the tests a third.
#pragma once

#include <cstdint>
#include <string>

namespace mv::run {

enum class Pointer : int { Default = 0, Hourglass = 11, Custom = 99 };

class Host {
public:
    virtual ~Host() = default;

    // The file list: rows counted from 1; rowText throws the subscript
    // failure for a row that no longer exists.
    virtual std::int64_t rowCount() const = 0;
    virtual std::u16string rowText(std::int64_t row) const = 0;
    // The output options and the output folder box, read again for every file.
    // `row` is the row whose result path is being worked out, or 0 for the
    // test before the first file.
    virtual bool option1() const = 0;
    virtual bool option2() const = 0;
    virtual std::u16string folderText(std::int64_t row) const = 0;

    // The progress bar (0 to 100) and its text. With a parallel dispatcher,
    // setProgressValue, yield and chunkProgress are also called from worker
    // threads.
    virtual void setProgressValue(double percent) = 0;
    virtual void setProgressText(const std::u16string& text) = 0;
    virtual void setPointer(Pointer pointer) = 0;
    // Lets the window handle its pending events.
    virtual void yield() = 0;
    // The writer of a result is at chunk `chunk` (from 1) of the `expected`
    // ones of its file; called on the thread that writes the result. The
    // window shows this through the bar alone.
    virtual void chunkProgress(std::int64_t /*chunk*/, std::int64_t /*expected*/) {}
    // A message box with an OK button, titled with the application title.
    virtual void showMessage(const std::u16string& text) = 0;
};

}  // namespace mv::run
