#include "platform/IdleTimeRegistry.h"

#include "platform/IdleTimeProvider.h"

IdleTimeRegistry::IdleTimeRegistry() = default;

IdleTimeRegistry::~IdleTimeRegistry() = default;

IdleTimeRegistry *IdleTimeRegistry::shared()
{
    static IdleTimeRegistry registry;
    return &registry;
}

void IdleTimeRegistry::addProvider(std::unique_ptr<IdleTimeProvider> provider)
{
    m_providers.push_back(std::move(provider));
}

void IdleTimeRegistry::clear()
{
    m_providers.clear();
}

IdleTimeProvider *IdleTimeRegistry::firstAvailable() const
{
    for (const std::unique_ptr<IdleTimeProvider> &provider : m_providers) {
        if (provider->isAvailable()) {
            return provider.get();
        }
    }
    return nullptr;
}
