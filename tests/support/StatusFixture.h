// A status channel opened as the host opens it, plus a client's view of the same record.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "ipc/CGraphErrInfo.h"
#include "ipc/CStatusChannelClient.h"
#include "support/TestProcess.h"

class StatusFixture : public testing::Test {
 protected:
  void SetUp() override {
    instance = UniqueInstanceName(L"status");
    ASSERT_EQ(S_OK, host.Open(instance.c_str()));
    ASSERT_EQ(S_OK, client.Open(instance.c_str()));
  }

  GraphErrInfo Read() const {
    GraphErrInfo record;
    client.Snapshot(&record, nullptr);
    return record;
  }
  // connect = 1, run = 2, device change = 4
  unsigned Events() const {
    return (client.IsEventSet(CStatusChannelClient::kConnectEvent) ? 1u : 0u) |
           (client.IsEventSet(CStatusChannelClient::kRunEvent) ? 2u : 0u) |
           (client.IsEventSet(CStatusChannelClient::kDeviceChangeEvent) ? 4u : 0u);
  }

  std::wstring instance;
  CGraphErrInfo host;
  CStatusChannelClient client;
};
