// Workers: a parent thread with three children. Each child publishes an event that it sets
// once it is ready; the parent's message loop counts them. The parent is stopped with a
// time-out; it waits for its children, but the third ignores the stop request, so the
// time-out runs out and Kill ends that child (exit code 99), then the parent (which may just
// have finished on its own, its last child gone).
#include <KstSystem.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

// Ready, then waits for the stop request.
class Child : public CThread {
public:
    void InitForParentSync() override { m_info.m_arrParentSync.Add(new CEvent); }
    void Execute() override {
        Ready();
        WaitForSingleObject(m_eventStop, INFINITE);
    }

protected:
    void Ready() { ::SetEvent(*m_info.m_arrParentSync[0]); }
};

// Ready, then goes on with its own business whatever it is told.
class DeafChild : public Child {
public:
    void Execute() override {
        Ready();
        for (;;) Sleep(1000);
    }
};

class Parent : public CThread {
public:
    CEvent m_allReady;

    // The base loop, plus a count of the children's published events.
    void MessageLoop() override {
        CArray<CSyncObject*, CSyncObject*> objects;
        objects.Append(m_info.m_arrSync);
        objects.Append(m_info.m_arrChildSync);
        CMultiLock lock(objects.GetData(), static_cast<DWORD>(objects.GetSize()));
        int ready = 0;
        for (;;) {
            DWORD result = lock.Lock(INFINITE, FALSE);
            if (result == WAIT_OBJECT_0 || result == WAIT_FAILED) break;
            if (result == WAIT_OBJECT_0 + 1) m_eventRelay.SetEvent();
            if (result >= WAIT_OBJECT_0 + 2 && ++ready == m_info.m_arrChildSync.GetSize())
                m_allReady.SetEvent();
        }
    }

    // Ends when asked to, but only after every child has ended.
    void Execute() override {
        WaitForSingleObject(m_eventStop, INFINITE);
        HANDLE workers[3];
        for (int i = 0; i < 3; ++i) workers[i] = *m_arrChildren[i]->GetThreadInfo()->m_pWinThread;
        WaitForMultipleObjects(3, workers, TRUE, INFINITE);
    }
};

std::string ExitLine(const char* name, CThread& thread) {
    DWORD code = 0;
    GetExitCodeThread(*thread.GetThreadInfo()->m_pWinThread, &code);
    char line[80];
    snprintf(line, sizeof line, "%s: exit code %u%s\n", name, code, code == 99 ? " (killed)" : "");
    return line;
}

}  // namespace

int main() {
    const int timeout = 500;
    std::string out;

    auto* parent = new Parent;
    parent->Init();
    CThread* children[3] = {new Child, new Child, new DeafChild};
    for (CThread* child : children) {
        child->Init();
        parent->AddThread(child);
    }
    parent->Run();
    for (CThread* child : children) child->Run();

    if (WaitForSingleObject(parent->m_allReady, 5000) == WAIT_OBJECT_0)
        out += "parent: " + std::to_string(parent->GetCountChildThreads()) + " children ready\n";
    out += "parent: stop with a time-out of " + std::to_string(timeout) + " ms\n";
    auto start = std::chrono::steady_clock::now();
    parent->Stop(timeout);
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - start)
                    .count();
    out += took >= timeout && took < timeout + 3000
               ? "parent: the time-out ran out\n"
               : "parent: stop took " + std::to_string(took) + " ms\n";
    const char* names[3] = {"child 1", "child 2", "child 3"};
    for (int i = 0; i < 3; ++i) out += ExitLine(names[i], *children[i]);
    out += parent->IsRunning() ? "parent: still running\n" : "parent: ended\n";
    delete parent;  // and the children with it

    fputs(out.c_str(), stdout);
    const std::string expected =
        "parent: 3 children ready\n"
        "parent: stop with a time-out of 500 ms\n"
        "parent: the time-out ran out\n"
        "child 1: exit code 0\n"
        "child 2: exit code 0\n"
        "child 3: exit code 99 (killed)\n"
        "parent: ended\n";
    if (out != expected) {
        fprintf(stderr, "unexpected output; expected:\n%s", expected.c_str());
        return 1;
    }
    return 0;
}
