// One conversion in a process of its own, for tests that kill a converting process or run two
// at once: converter_task_helper SOURCE TARGET CONTAINER. Prints the task's final state and
// target path; exits 0 when the task finished.
#include <cstdio>
#include <thread>

#include "converter_test_support.h"

using namespace MediaBased;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s SOURCE TARGET CONTAINER\n", argv[0]);
        return 2;
    }
    Owned<IMediaManager> manager(CreateMediaManager());
    if (!manager)
        return 3;
    converter_test::OutputShape shape;
    shape.container = argv[3];
    Owned<IMediaConverter> converter(manager->CreateConverter());
    converter->SetMaxParallelTasks(1);
    if (converter->AddTask(converter_test::MakeConfig(*manager, argv[1], argv[2], shape).get()) != 1 ||
        !converter->Start())
        return 4;
    while (converter->GetUnfinishedTaskCount() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ConvertTask* task = converter->GetTask(0);
    const int32_t state = task->state.load(std::memory_order_acquire);
    std::printf("state=%d\npath=%s\n", state, task->config->GetTargetPath());
    return state == TaskFinished ? 0 : 1;
}
