// The graph-control object's operations on real graphs of the test cameras and our capture
// renderer, with the status record read as a client reads it. Where the test drives the run
// state itself, its clients belong to its own process: the monitor loop acts only for clients of
// other processes.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "GraphMngRig.h"
#include "ipc/NamedObjects.h"
#include "ipc/ObjectNames.h"
#include "support/TestCamFaultRecord.h"

namespace {

const std::pair<LONG, LONG> k1280x720 = {1280, 720};

std::set<DWORD> ThreadsOfThisProcess() {
  ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  std::set<DWORD> threads;
  for (BOOL more = ::Thread32First(snapshot.Get(), &entry); more; more = ::Thread32Next(snapshot.Get(), &entry)) {
    if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) threads.insert(entry.th32ThreadID);
  }
  return threads;
}

}  // namespace

using GraphMngOperations = GraphMngTest;

TEST_F(GraphMngOperations, StatusRecordAndEventsAfterEachOperationAsAClientSeesThem) {
  ASSERT_NO_FATAL_FAILURE(Create(FALSE));
  const int own = clients.Add(::GetCurrentProcessId(), FALSE, 640, 480);
  ASSERT_EQ(S_OK, Configure(kTestCamStandard, TRUE));
  EXPECT_STATUS(kOpBuildGraph, 0u, 0u, S_OK, kConnect);

  // The format of a built graph is never changed: the operation stays begun.
  CMediaType format;
  ASSERT_EQ(S_OK, BuildVideoInfoType(320, 240, VideoSubtype::kRgb24, &format));
  EXPECT_EQ(E_FAIL, graph->SetCaptureFormat(&format));
  EXPECT_STATUS(kOpSetCaptureFormat, 1u, 0u, S_OK, kConnect);
  // Nobody wants video: nothing runs and nothing is reported.
  EXPECT_EQ(S_OK, graph->RunGraph(FALSE, 0));
  EXPECT_FALSE(graph->IsGraphRunning());
  EXPECT_STATUS(kOpSetCaptureFormat, 1u, 0u, S_OK, kConnect);
  ASSERT_TRUE(clients.SetWantsVideo(own, TRUE));
  ASSERT_EQ(S_OK, graph->RunGraph(FALSE, 0));
  EXPECT_STATUS(kOpRunGraph, 0u, 0u, S_OK, kConnect | kRun);
  // Someone still wants video: the stop does nothing. A successful stop shows only its begin
  // report, which reads "built".
  EXPECT_EQ(S_OK, graph->StopGraph());
  EXPECT_TRUE(graph->IsGraphRunning());
  ASSERT_TRUE(clients.SetWantsVideo(own, FALSE));
  EXPECT_EQ(S_OK, graph->StopGraph());
  EXPECT_FALSE(graph->IsGraphRunning());
  EXPECT_STATUS(kOpBuildGraph, 0u, 0u, S_OK, kConnect);
  // The locked session's placeholder alone wants video.
  ASSERT_EQ(S_OK, graph->SetSessionLocked(TRUE));
  ASSERT_EQ(S_OK, graph->RunGraph(FALSE, 0));
  EXPECT_TRUE(graph->IsGraphRunning());
  ASSERT_EQ(S_OK, graph->SetSessionLocked(FALSE));
  ASSERT_EQ(S_OK, graph->StopGraph());
  EXPECT_FALSE(graph->IsGraphRunning());

  EXPECT_EQ(S_OK, graph->DestroyGraph());
  EXPECT_STATUS(kOpDestroyGraph, 1u, 0u, S_OK, kConnect);
  ASSERT_EQ(S_OK, graph->BuildGraph(FALSE, 0));
  EXPECT_EQ(S_OK, graph->ReleaseGraph());
  EXPECT_STATUS(kOpReleaseGraph, 1u, 1u, S_OK, 0u);
  // Suspended with no camera configured: refused without a report.
  ASSERT_EQ(S_OK, graph->SetSuspended(TRUE));
  EXPECT_EQ(E_FAIL, graph->BuildGraph(FALSE, 0));
  EXPECT_STATUS(kOpReleaseGraph, 1u, 1u, S_OK, 0u);
  ASSERT_EQ(S_OK, graph->SetSuspended(FALSE));
  // A camera that cannot connect: the failed build is recorded with its result.
  const HRESULT failed = Configure(kTestCamNoKsProps, TRUE);
  EXPECT_TRUE(FAILED(failed));
  EXPECT_STATUS(kOpBuildGraph, 0u, 0u, failed, kConnect);
}

TEST_F(GraphMngOperations, RunGraphRetriesACameraBusyElsewhereSixTimes) {
  TestCamFaultRecord faults;
  ASSERT_TRUE(faults.IsValid());
  ASSERT_NO_FATAL_FAILURE(Create(FALSE));
  const int own = clients.Add(::GetCurrentProcessId(), TRUE, 640, 480);
  ASSERT_EQ(S_OK, Configure(kTestCamFaulty, TRUE));
  // The first start and `failures - 1` of the six retries fail with `failure`.
  const auto run = [&](LONG failures, HRESULT failure) {
    faults.FailStarts(failures, failure);
    const LONG before = faults.StartAttempts();
    const HRESULT hr = graph->RunGraph(FALSE, 0);
    return std::make_pair(hr, faults.StartAttempts() - before);
  };
  constexpr HRESULT kBusy = CFontisGraphMng::kErrNoSystemResources;

  // Busy for the first start and two retries: the third retry runs it.
  EXPECT_EQ(std::make_pair(S_OK, 4L), run(3, kBusy));
  EXPECT_STATUS(kOpRunGraph, 0u, 0u, S_OK, kConnect | kRun);
  ASSERT_TRUE(clients.SetWantsVideo(own, FALSE));
  ASSERT_EQ(S_OK, graph->StopGraph());
  ASSERT_TRUE(clients.SetWantsVideo(own, TRUE));

  // Any other failure is not retried.
  EXPECT_EQ(std::make_pair(E_ACCESSDENIED, 1L), run(1, E_ACCESSDENIED));
  EXPECT_FALSE(graph->IsGraphRunning());
  // Busy for good: the first start and six retries, then the failure is recorded for the clients.
  EXPECT_EQ(std::make_pair(kBusy, 7L), run(100, kBusy));
  EXPECT_FALSE(graph->IsGraphRunning());
  EXPECT_STATUS(kOpRunGraph, 0u, 0u, kBusy, kConnect | kRun);
  faults.FailStarts(0, S_OK);
}

TEST_F(GraphMngOperations, ChangeFormatRebuildsForALargerRequestAndKeepsTheGraphWhenTheCameraRefuses) {
  TestCamFaultRecord faults;
  ASSERT_TRUE(faults.IsValid());
  ASSERT_NO_FATAL_FAILURE(Create(FALSE));
  const DWORD self = ::GetCurrentProcessId();
  ASSERT_GE(clients.Add(self, TRUE, 640, 480), 0);
  ASSERT_EQ(S_OK, Configure(kTestCamFaulty, FALSE));
  ASSERT_EQ(S_OK, BuildAtRequestedFormat());
  EXPECT_EQ(640, DeliveredSize().first);

  // The first change takes the request as the one applied; asked again, nothing is touched.
  EXPECT_EQ(E_FAIL, graph->ChangeFormat()) << "rebuilt, and left for the monitor loop to run";
  ASSERT_EQ(S_OK, graph->RunGraph(FALSE, 0));
  EXPECT_EQ(S_OK, graph->ChangeFormat());
  EXPECT_STATUS(kOpRunGraph, 0u, 0u, S_OK, kConnect | kRun);

  // A second client asks for more than the camera has exactly: the nearest capability.
  ASSERT_GE(clients.Add(self, FALSE, 1000, 700), 0);
  EXPECT_EQ(E_FAIL, graph->ChangeFormat());
  EXPECT_EQ(k1280x720, DeliveredSize());
  EXPECT_STATUS(kOpBuildGraph, 0u, 0u, S_OK, kConnect);
  ASSERT_EQ(S_OK, graph->RunGraph(FALSE, 0));
  // A foreign client that writes what it uses: the nearest size answers the request, a stale
  // size does not.
  ASSERT_TRUE(clients.SetOutput(0, 1280, 720));
  EXPECT_TRUE(graph->IsGraphStateValid());
  ASSERT_TRUE(clients.SetOutput(0, 640, 480));
  EXPECT_FALSE(graph->IsGraphStateValid());

  // A size the camera refuses: rebuilt as before, never left without a graph; a client using what
  // is delivered keeps the host valid.
  faults.RefuseSize(1920, 1080, E_ACCESSDENIED);
  ASSERT_GE(clients.Add(self, FALSE, 1920, 1080), 0);
  EXPECT_EQ(E_ACCESSDENIED, graph->ChangeFormat());
  EXPECT_TRUE(graph->IsGraphBuilt());
  EXPECT_EQ(k1280x720, DeliveredSize());
  ASSERT_EQ(S_OK, graph->RunGraph(FALSE, 0));
  ASSERT_TRUE(clients.SetOutput(0, 1280, 720));
  EXPECT_TRUE(graph->IsGraphStateValid());
  ASSERT_TRUE(clients.SetOutput(0, 0, 0));
  faults.RefuseSize(0, 0, S_OK);
}

TEST_F(GraphMngOperations, AFailedCreationAndADestructionWhileRunningWithPreviewLeaveNoThread) {
  // Another kind of object already holds the name of the channel's lock.
  WCHAR base[kNameCapacity], lockName[kNameCapacity];
  ASSERT_TRUE(ComposeRgCenterBase(base, instance.c_str()));
  ASSERT_TRUE(ComposeObjectName(lockName, base, kSuffixRgCenterLock));
  ScopedHandle squatter(::CreateEventW(nullptr, TRUE, FALSE, lockName));
  ASSERT_TRUE(squatter.IsValid());
  const std::set<DWORD> threads = ThreadsOfThisProcess();
  EXPECT_EQ(nullptr, CFontisGraphMng::CreateInstance(std::wstring(300, L'n').c_str(), TRUE));
  EXPECT_EQ(nullptr, CFontisGraphMng::CreateInstance(instance.c_str(), TRUE));
  EXPECT_TRUE(WaitUntil([&] { return ThreadsOfThisProcess() == threads; }, 3000));
  squatter.Reset();

  // Serves a client of another process with a preview; the monitor loop runs the graph.
  ASSERT_NO_FATAL_FAILURE(Create(TRUE));
  ASSERT_GE(clients.Add(kOtherProcessId, TRUE, 640, 480), 0);
  camera = CreateTestCamera(kTestCamStandard);
  ASSERT_EQ(S_OK, graph->SetCaptureFilter(camera.Get(), TRUE, TRUE, messages.Window(), FALSE));
  EXPECT_EQ(S_OK, graph->ShowPreview(TRUE));
  ASSERT_TRUE(WaitUntil([&] { return graph->IsGraphRunning(); }, kLoopWaitMs));
  EXPECT_TRUE(NextFrame(0));
  std::vector<ScopedHandle> started;
  for (DWORD id : ThreadsOfThisProcess()) {
    if (threads.count(id) == 0) started.emplace_back(::OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, id));
  }

  graph.reset();
  FILTER_INFO info = {};
  ASSERT_EQ(S_OK, camera->QueryFilterInfo(&info));
  EXPECT_EQ(nullptr, info.pGraph) << "the camera is still in a graph";
  if (info.pGraph != nullptr) info.pGraph->Release();
  EXPECT_STATUS(kOpReleaseGraph, 1u, 1u, S_OK, 0u);
  // Its two threads, the monitor loop and the graph owner's, have ended as asked (with 1); the
  // others are the system's.
  EXPECT_EQ(2, std::count_if(started.begin(), started.end(), [](const ScopedHandle& thread) {
              DWORD exitCode = 0;
              return ::GetExitCodeThread(thread.Get(), &exitCode) && exitCode == 1;
            }));
}
