#pragma once

#include <memory>
#include <vector>

class IdleTimeProvider;

// The idle-time sources of the process, in order of preference. The program installs the
// desktop's, tests a fake.
class IdleTimeRegistry
{
public:
    IdleTimeRegistry();
    ~IdleTimeRegistry();

    static IdleTimeRegistry *shared();

    void addProvider(std::unique_ptr<IdleTimeProvider> provider);
    void clear();
    bool isEmpty() const { return m_providers.empty(); }
    // The first provider that can be asked now, or none.
    IdleTimeProvider *firstAvailable() const;

private:
    std::vector<std::unique_ptr<IdleTimeProvider>> m_providers;
};
