// Runs the frames of a sequence through two stages on a fixed number of
// workers: `prepare` (read the frame, find its centre) and `finish` (model
// and outputs). At most `jobs` frames are in flight, which bounds memory.
// With `in_order`, `prepare` runs on one frame at a time in the given order,
// so each frame's centre search can start from the previous one's result;
// `finish` always runs in parallel. Each stage is meant to record its own
// frame's failure; an exception leaving a stage stops the whole run and is
// rethrown here, every prepared frame freed.
#pragma once

#include <oneapi/tbb/parallel_pipeline.h>
#include <oneapi/tbb/task_arena.h>

#include <cstddef>
#include <memory>
#include <vector>

template <class Frame, class Prepare, class Finish>
void RunFramePipeline(std::size_t count, int jobs, bool in_order, Prepare prepare, Finish finish) {
  if (count == 0) return;
  if (jobs < 1) jobs = 1;
  // The prepared frames are owned here, one slot per frame, and only their
  // index travels between the stages: a cancelled pipeline drops the indices
  // in flight, and the slots still free what they hold.
  std::vector<std::unique_ptr<Frame>> slots(count);
  std::size_t next = 0;
  const auto source = [&next, count](oneapi::tbb::flow_control& control) -> std::size_t {
    if (next == count) {
      control.stop();
      return 0;
    }
    return next++;
  };
  const auto prepare_stage = [&prepare, &slots](std::size_t index) -> std::size_t {
    slots[index] = std::make_unique<Frame>(prepare(index));
    return index;
  };
  const auto finish_stage = [&finish, &slots](std::size_t index) {
    const std::unique_ptr<Frame> frame = std::move(slots[index]);
    finish(*frame);
  };
  using oneapi::tbb::filter_mode;
  oneapi::tbb::task_arena arena(jobs);
  arena.execute([&] {
    oneapi::tbb::parallel_pipeline(
        static_cast<std::size_t>(jobs),
        oneapi::tbb::make_filter<void, std::size_t>(filter_mode::serial_in_order, source) &
            oneapi::tbb::make_filter<std::size_t, std::size_t>(
                in_order ? filter_mode::serial_in_order : filter_mode::parallel, prepare_stage) &
            oneapi::tbb::make_filter<std::size_t, void>(filter_mode::parallel, finish_stage));
  });
}
