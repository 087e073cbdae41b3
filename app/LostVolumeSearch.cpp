#include "app/LostVolumeSearch.h"

namespace undelete {

LostVolumeSearch::~LostVolumeSearch() {
    abandoned_ = true;
    if (thread_.joinable()) thread_.join();
}

bool LostVolumeSearch::start(std::vector<PartitionRow> tableRows, Finished finished) {
    if (running_ || abandoned_) return false;
    if (thread_.joinable()) thread_.join();  // the last one has delivered: it is ending
    stopRequested_ = false;
    try {
        thread_ = std::thread(&LostVolumeSearch::work, this, std::move(tableRows),
                              std::move(finished));
    } catch (const std::exception&) {
        return false;
    }
    running_ = true;
    return true;
}

void LostVolumeSearch::work(std::vector<PartitionRow> tableRows, Finished finished) {
    SearchControl control;
    control.stopRequested = [this] { return stopRequested_ || abandoned_; };
    control.progress = [this](uint64_t done, uint64_t total) {
        view_.runOnUiThread([&] {
            if (!abandoned_) view_.showProgress(ShellView::Work::Search, done, total);
        });
    };
    FoundRows found = findLostVolumes(source_, tableRows, control);
    view_.runOnUiThread([&] {
        running_ = false;
        if (!abandoned_) finished(std::move(found));
    });
}

}  // namespace undelete
