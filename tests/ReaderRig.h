// The program's reader link over the in-process simulator, on a fake clock:
// what the tests of the reader's users stand on.
#pragma once

#include "link/ReaderLink.h"
#include "shell/Clock.h"
#include "shell/Prompt.h"
#include "shell/StatusWindow.h"
#include "sim/Collector.h"
#include "sim/Reader.h"
#include "sim/SimPort.h"

namespace kordex::rig {

template <typename PromptT = shell::ScriptedPrompt>
struct ReaderRig {
    ReaderRig()
        : collector(clock),
          reader(collector),
          port(reader, clock),
          link(port, prompt, status, clock, pump) {}

    shell::FakeClock clock;
    PromptT prompt;
    shell::ScriptedStatusWindow status;
    shell::HookPump pump;
    sim::Collector collector;
    sim::Reader reader;
    sim::SimPort port;
    link::ReaderLink link;
};

}  // namespace kordex::rig
