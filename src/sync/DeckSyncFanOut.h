#pragma once
// Hands every snapshot to several publishers in turn, each with its own
// pace: the folder store keeps its 30-second throttle while a broker link
// publishes within a second.

#include "DeckSyncContracts.h"

#include <vector>

namespace vexlor {

class DeckSyncFanOut final : public DeckSyncPublishing {
public:
    explicit DeckSyncFanOut(std::vector<DeckSyncPublishing*> publishers)
        : m_publishers(std::move(publishers))
    {
    }

    void publish(const DeckSnapshot& snapshot) override
    {
        for (DeckSyncPublishing* p : m_publishers)
            if (p)
                p->publish(snapshot);
    }

private:
    std::vector<DeckSyncPublishing*> m_publishers;
};

} // namespace vexlor
