#pragma once

#include <QVariant>

#include <memory>

#include "platform/IdleTimeProvider.h"
#include "platform/IdleTimeRegistry.h"

// An idle-time source whose answer the test sets; counts how often it was asked.
class FakeIdleTimeProvider : public IdleTimeProvider
{
public:
    // Makes a fake the only source of the process's registry, which owns it.
    static FakeIdleTimeProvider *install()
    {
        auto provider = std::make_unique<FakeIdleTimeProvider>();
        FakeIdleTimeProvider *installed = provider.get();
        IdleTimeRegistry::shared()->clear();
        IdleTimeRegistry::shared()->addProvider(std::move(provider));
        return installed;
    }

    QString name() const override { return QStringLiteral("fake"); }
    bool isAvailable() override { return available; }
    std::optional<QVariant> idleTime() override
    {
        ++queries;
        return value;
    }

    void setIdleUnits(quint64 units) { value = QVariant(qlonglong(units << 30)); }

    bool available = true;
    std::optional<QVariant> value = QVariant(qlonglong(0));
    int queries = 0;
};
