#pragma once
// The click latency bench's floor: a libpulse client on its own main loop thread that sets the
// default sink's volume when told to, the way a mixer engine answers a click. trigger() writes
// one byte to a pipe; the main loop's callback for it sends one volume write, without waiting
// for the reply, and returns.

#include <pulse/pulseaudio.h>
#include <unistd.h>

class PulseWriter {
public:
    PulseWriter() {
        if (pipe(fds_) != 0) {
            return;
        }
        loop_ = pa_threaded_mainloop_new();
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
        context_ = pa_context_new(api, "ClickLatency");
        pa_context_set_state_callback(context_, &PulseWriter::onState, this);
        pa_threaded_mainloop_lock(loop_);
        pa_threaded_mainloop_start(loop_);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) == 0) {
            for (;;) {
                const pa_context_state_t state = pa_context_get_state(context_);
                if (state == PA_CONTEXT_READY) {
                    ready_ = true;
                    break;
                }
                if (!PA_CONTEXT_IS_GOOD(state)) {
                    break;
                }
                pa_threaded_mainloop_wait(loop_);
            }
        }
        if (ready_) {
            io_ = api->io_new(api, fds_[0], PA_IO_EVENT_INPUT, &PulseWriter::onTrigger, this);
        }
        pa_threaded_mainloop_unlock(loop_);
    }
    ~PulseWriter() {
        if (!loop_) {
            return;
        }
        pa_threaded_mainloop_lock(loop_);
        if (io_) {
            pa_threaded_mainloop_get_api(loop_)->io_free(io_);
        }
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        pa_threaded_mainloop_unlock(loop_);
        pa_threaded_mainloop_stop(loop_);
        pa_threaded_mainloop_free(loop_);
        close(fds_[0]);
        close(fds_[1]);
    }
    PulseWriter(const PulseWriter&) = delete;
    PulseWriter& operator=(const PulseWriter&) = delete;

    bool ready() const { return ready_; }
    void trigger() { (void)!write(fds_[1], "v", 1); }

private:
    static void onState(pa_context*, void* self) {
        pa_threaded_mainloop_signal(static_cast<PulseWriter*>(self)->loop_, 0);
    }
    static void onTrigger(pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t, void* data) {
        auto* self = static_cast<PulseWriter*>(data);
        char byte;
        (void)!read(fd, &byte, 1);
        pa_cvolume volume;
        pa_cvolume_set(&volume, 2, PA_VOLUME_NORM / 4 + (self->count_++ % 2) * 1000);
        pa_operation* op = pa_context_set_sink_volume_by_name(self->context_, "@DEFAULT_SINK@",
                                                              &volume, nullptr, nullptr);
        if (op) {
            pa_operation_unref(op);
        }
    }

    int fds_[2] = {-1, -1};
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_io_event* io_ = nullptr;
    bool ready_ = false;
    unsigned count_ = 0;
};
