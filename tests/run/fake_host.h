// A host that records what the run shows, for tests of the conversion run.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "report/failure.h"
#include "run/host.h"

namespace mv::test {

class FakeHost : public run::Host {
public:
    std::vector<std::u16string> rows;
    bool firstOption = false;
    bool secondOption = true;
    std::u16string folder;
    std::vector<double> progressValues;
    std::vector<std::u16string> progressTexts;
    std::vector<run::Pointer> pointers;
    std::vector<std::u16string> messages;
    // The rows the folder box was read for, and each chunk written.
    mutable std::vector<std::int64_t> folderRows;
    std::vector<std::int64_t> chunks;
    // Runs at every yield, as the window's event handlers would.
    std::function<void()> onYield;

    std::int64_t rowCount() const override { return static_cast<std::int64_t>(rows.size()); }
    std::u16string rowText(std::int64_t row) const override {
        if (row < 1 || row > rowCount()) {
            throw report::Failure(report::FailureKind::SubscriptOutOfRange);
        }
        return rows[static_cast<std::size_t>(row - 1)];
    }
    bool option1() const override { return firstOption; }
    bool option2() const override { return secondOption; }
    std::u16string folderText(std::int64_t row) const override {
        folderRows.push_back(row);
        return folder;
    }
    void setProgressValue(double percent) override { progressValues.push_back(percent); }
    void setProgressText(const std::u16string& text) override { progressTexts.push_back(text); }
    void setPointer(run::Pointer pointer) override { pointers.push_back(pointer); }
    void yield() override {
        if (onYield) onYield();
    }
    void chunkProgress(std::int64_t chunk, std::int64_t) override { chunks.push_back(chunk); }
    void showMessage(const std::u16string& text) override { messages.push_back(text); }
};

}  // namespace mv::test
