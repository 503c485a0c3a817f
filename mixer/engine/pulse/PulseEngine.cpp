#include "PulseEngine.h"

#include "AlsaWaveIn.h"

#include <pulse/def.h>
#include <pulse/subscribe.h>

#include <algorithm>
#include <cstring>

namespace {

// Asking for the default device by these names lets the server resolve it when it answers, so
// the latest answer always describes the device that is the default now.
constexpr const char* kDefaultSink = "@DEFAULT_SINK@";
constexpr const char* kDefaultSource = "@DEFAULT_SOURCE@";
// The sink PulseAudio and PipeWire add ("Dummy Output") while no real output is there.
constexpr const char* kStandInSink = "auto_null";

pa_volume_t clampVolume(long value) {
    return static_cast<pa_volume_t>(std::clamp<long>(value, PA_VOLUME_MUTED, PA_VOLUME_NORM));
}

}  // namespace

PulseEngine::PulseEngine(const AlsaWaveIn* capture)
    : capture_(capture),
      connection_([this](pa_context* c) { contextReady(c); }, [this] { contextLost(); }) {
    for (Device& d : devices_)
        d.engine = this;
    devices_[1].sink = false;
}

// No call reads the engine once it starts to go; the connection, its last member, then ends
// the loop.
PulseEngine::~PulseEngine() {
    stopNotifying();
}

bool PulseEngine::connect() {
    return connection_.connect();
}

bool PulseEngine::connectNoWait() {
    return connection_.connect(false);
}

bool PulseEngine::connected() const {
    PulseConnection::Lock lock(connection_);
    return connection_.connected();
}

PulseEngine::Device* PulseEngine::device(Line line) {
    return const_cast<Device*>(static_cast<const PulseEngine*>(this)->device(line));
}

const PulseEngine::Device* PulseEngine::device(Line line) const {
    switch (line) {
        case Line::Speakers:
            return &devices_[0];
        case Line::WaveIn:
            return &devices_[1];
        default:
            return nullptr;
    }
}

bool PulseEngine::hasLine(Line line) const {
    const Device* d = device(line);
    if (d == nullptr)
        return false;
    PulseConnection::Lock lock(connection_);
    return d->present;
}

bool PulseEngine::hasPeak(Line line) const {
    return line == Line::WaveIn && capture_ != nullptr && hasLine(line);
}

std::string PulseEngine::lineName(Line line) const {
    const Device* d = device(line);
    if (d == nullptr)
        return {};
    PulseConnection::Lock lock(connection_);
    return d->present ? d->description : std::string();
}

int PulseEngine::channels(Line line) const {
    const Device* d = device(line);
    if (d == nullptr)
        return 0;
    PulseConnection::Lock lock(connection_);
    return d->present ? d->channels : 0;
}

MixerEngine::Range PulseEngine::volumeRange(Line line) const {
    if (device(line) == nullptr)
        return {};
    return {PA_VOLUME_MUTED, PA_VOLUME_NORM};
}

// Runs op on the line's device with the engine locked, or says why it cannot: a line this
// engine never has, an unreachable server, or no such device on the server now.
template <typename Op>
MixerEngine::Status PulseEngine::withDevice(Line line, Op op) {
    PulseConnection::Lock lock(connection_);
    Device* d = device(line);
    if (d == nullptr)
        return Status::Missing;
    if (!connection_.connected())
        return Status::Unreachable;
    if (!d->present)
        return Status::Missing;
    return op(*d);
}

MixerEngine::Status PulseEngine::volume(Line line, long* value) {
    return withDevice(line, [&](Device& d) {
        *value = static_cast<long>(pa_cvolume_max(&d.volume));
        return Status::Ok;
    });
}

MixerEngine::Status PulseEngine::setVolume(Line line, long value) {
    return withDevice(line, [&](Device& d) {
        pa_cvolume target = d.volume;
        if (!pa_cvolume_valid(&target))
            pa_cvolume_set(&target, static_cast<unsigned>(std::max(d.channels, 1)), 0);
        // Scaling keeps the balance: the loudest channel gets the value, the others follow.
        pa_cvolume_scale(&target, clampVolume(value));
        return sendWrite(d, &target, -1);
    });
}

MixerEngine::Status PulseEngine::muted(Line line, bool* value) {
    return withDevice(line, [&](Device& d) {
        *value = d.muted;
        return Status::Ok;
    });
}

MixerEngine::Status PulseEngine::setMuted(Line line, bool value) {
    return withDevice(line, [&](Device& d) { return sendWrite(d, nullptr, value ? 1 : 0); });
}

MixerEngine::Status PulseEngine::peak(Line line, int32_t* value) {
    if (line != Line::WaveIn || capture_ == nullptr)
        return Status::Missing;
    return withDevice(line, [&](Device&) {
        *value = capture_->peak();
        return Status::Ok;
    });
}

std::vector<MixerEngine::Output> PulseEngine::outputs() const {
    PulseConnection::Lock lock(connection_);
    if (!connection_.connected())
        return {};
    std::vector<Output> all = sinks_;
    const Device& speakers = devices_[0];
    for (Output& o : all)
        o.isDefault = speakers.present && o.name == speakers.name;
    return all;
}

bool PulseEngine::canChooseOutput() const {
    return connected();
}

// The default sink follows from the server's report of the change (a server event), like any
// other program's choice; streams that play are moved once the server has listed them.
MixerEngine::Status PulseEngine::chooseOutput(const std::string& name) {
    PulseConnection::Lock lock(connection_);
    if (!connection_.connected())
        return Status::Unreachable;
    const bool known =
        std::any_of(sinks_.begin(), sinks_.end(), [&](const Output& o) { return o.name == name; });
    if (!known)
        return Status::Missing;
    pa_context* c = connection_.context();
    pa_operation* o = pa_context_set_default_sink(c, name.c_str(), nullptr, nullptr);
    if (o == nullptr)
        return Status::Failed;
    pa_operation_unref(o);
    moveTarget_ = name;
    if (pa_operation* list = pa_context_get_sink_input_info_list(c, streamListed, this))
        pa_operation_unref(list);
    return Status::Ok;
}

void PulseEngine::streamListed(pa_context* c, const pa_sink_input_info* i, int eol,
                               void* userdata) {
    auto* self = static_cast<PulseEngine*>(userdata);
    if (eol != 0 || i == nullptr || self->moveTarget_.empty())
        return;
    // A stream that may not move is refused by the server; nothing to undo then.
    if (pa_operation* o = pa_context_move_sink_input_by_name(c, i->index, self->moveTarget_.c_str(),
                                                             nullptr, nullptr))
        pa_operation_unref(o);
}

// One request, answered later in writeDone; the line shows the written value from now on.
MixerEngine::Status PulseEngine::sendWrite(Device& d, const pa_cvolume* volume, int mute) {
    pa_context* c = connection_.context();
    const char* name = d.name.c_str();
    pa_operation* o;
    if (volume != nullptr)
        o = d.sink ? pa_context_set_sink_volume_by_name(c, name, volume, writeDone, &d)
                   : pa_context_set_source_volume_by_name(c, name, volume, writeDone, &d);
    else
        o = d.sink ? pa_context_set_sink_mute_by_name(c, name, mute, writeDone, &d)
                   : pa_context_set_source_mute_by_name(c, name, mute, writeDone, &d);
    if (o == nullptr)
        return Status::Failed;
    pa_operation_unref(o);
    ++d.pendingWrites;
    if (volume != nullptr)
        d.volume = *volume;
    else
        d.muted = mute != 0;
    return Status::Ok;
}

void PulseEngine::contextReady(pa_context* c) {
    pa_context_set_subscribe_callback(c, serverEvent, this);
    auto mask = static_cast<pa_subscription_mask_t>(
        PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER);
    // Subscribed before the first reads, so no change falls between them.
    if (pa_operation* o = pa_context_subscribe(c, mask, nullptr, nullptr))
        pa_operation_unref(o);
    syncing_ = true;
    for (Device& d : devices_) {
        d.pendingWrites = 0;
        d.infoInFlight = false;
        requestInfo(d);
    }
    listInFlight_ = false;
    requestSinks();
}

void PulseEngine::contextLost() {
    // Requests of the lost context are never answered; forget them.
    syncing_ = false;
    for (Device& d : devices_) {
        d.pendingWrites = 0;
        d.infoInFlight = false;
        d.infoAgain = false;
    }
    listInFlight_ = false;
    listAgain_ = false;
    notifyChanged();
}

// At most one info request per line is in flight; a change reported meanwhile asks again once
// that one is answered, since its answer may predate the change.
void PulseEngine::requestInfo(Device& d) {
    if (d.infoInFlight) {
        d.infoAgain = true;
        return;
    }
    pa_context* c = connection_.context();
    if (c == nullptr)
        return;
    pa_operation* o =
        d.sink
            ? pa_context_get_sink_info_by_name(c, kDefaultSink, deviceInfo<pa_sink_info>, &d)
            : pa_context_get_source_info_by_name(c, kDefaultSource, deviceInfo<pa_source_info>, &d);
    if (o == nullptr)
        return;
    pa_operation_unref(o);
    d.infoInFlight = true;
    d.infoAgain = false;
}

void PulseEngine::takeInfo(Device& d, const char* name, const char* description, uint32_t index,
                           const pa_channel_map& map, const pa_cvolume& volume, int mute) {
    // A report that may predate a write in flight would undo it; the write's answer asks again.
    if (d.pendingWrites > 0)
        return;
    const std::string shown = description != nullptr && *description != '\0' ? description : name;
    const int channels = std::clamp<int>(map.channels, 1, 2);
    const bool changed = !d.present || d.name != name || d.description != shown ||
                         d.index != index || d.channels != channels ||
                         !pa_cvolume_equal(&d.volume, &volume) || d.muted != (mute != 0);
    d.present = true;
    d.name = name;
    d.description = shown;
    d.index = index;
    d.channels = channels;
    d.volume = volume;
    d.muted = mute != 0;
    if (changed && !syncing_)
        notifyChanged();
}

void PulseEngine::infoDone(Device& d, bool gone) {
    d.infoInFlight = false;
    bool changed = false;
    if (gone && d.pendingWrites == 0 && d.present) {
        // No default device (any more): the line is gone until one appears.
        d.present = false;
        d.index = PA_INVALID_INDEX;
        changed = true;
    }
    if (d.infoAgain)
        requestInfo(d);
    if (syncing_)
        syncStep();
    else if (changed)
        notifyChanged();
}

// The connection counts once the default devices and the outputs are all known.
void PulseEngine::syncStep() {
    if (devices_[0].infoInFlight || devices_[1].infoInFlight || listInFlight_)
        return;
    syncing_ = false;
    connection_.synced();
    notifyChanged();
}

// Like requestInfo: one list in flight, and once more when sinks came or went meanwhile.
void PulseEngine::requestSinks() {
    if (listInFlight_) {
        listAgain_ = true;
        return;
    }
    pa_context* c = connection_.context();
    if (c == nullptr)
        return;
    pa_operation* o = pa_context_get_sink_info_list(c, sinkListed, this);
    if (o == nullptr)
        return;
    pa_operation_unref(o);
    listing_.clear();
    listInFlight_ = true;
    listAgain_ = false;
}

void PulseEngine::sinkListed(pa_context*, const pa_sink_info* i, int eol, void* userdata) {
    auto* self = static_cast<PulseEngine*>(userdata);
    if (eol == 0 && i != nullptr) {
        // The stand-in a server makes while it has no output at all is nothing to choose.
        if (std::strcmp(i->name, kStandInSink) == 0)
            return;
        const bool described = i->description != nullptr && *i->description != '\0';
        self->listing_.push_back({i->name, described ? i->description : i->name, false});
        return;
    }
    self->listInFlight_ = false;
    bool changed = false;
    // A failed list (eol < 0) says nothing about the sinks: keep the ones known.
    if (eol > 0) {
        auto same = [](const Output& a, const Output& b) {
            return a.name == b.name && a.description == b.description;
        };
        changed = !std::equal(self->sinks_.begin(), self->sinks_.end(), self->listing_.begin(),
                              self->listing_.end(), same);
        self->sinks_.swap(self->listing_);
    }
    self->listing_.clear();
    if (self->listAgain_)
        self->requestSinks();
    if (self->syncing_)
        self->syncStep();
    else if (changed)
        self->notifyChanged();
}

// An answer that is an error means there is no default device only when the server says so; a
// request that timed out (a server that hangs) says nothing about the device.
bool PulseEngine::noSuchDevice(pa_context* c, int eol) {
    return eol < 0 && pa_context_errno(c) == PA_ERR_NOENTITY;
}

// A sink's or a source's report; both carry the fields a line needs under the same names.
template <typename Info>
void PulseEngine::deviceInfo(pa_context* c, const Info* i, int eol, void* userdata) {
    auto& d = *static_cast<Device*>(userdata);
    if (eol == 0 && i != nullptr)
        d.engine->takeInfo(d, i->name, i->description, i->index, i->channel_map, i->volume,
                           i->mute);
    else
        d.engine->infoDone(d, noSuchDevice(c, eol));
}

// The change is told here, on the loop's thread like every other, never inside the caller's
// write. A refused write needs no handling of its own: the fresh report restores the server's
// value (and tells that change).
void PulseEngine::writeDone(pa_context*, int success, void* userdata) {
    auto& d = *static_cast<Device*>(userdata);
    if (d.pendingWrites > 0 && --d.pendingWrites == 0)
        d.engine->requestInfo(d);
    if (success)
        d.engine->notifyChanged();
}

void PulseEngine::serverEvent(pa_context*, pa_subscription_event_type_t t, uint32_t index,
                              void* userdata) {
    auto* self = static_cast<PulseEngine*>(userdata);
    const unsigned facility = t & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const unsigned kind = t & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    // A changed device matters only when it is the line's own; a device that comes or goes may
    // make or end the default; a server change may move the default elsewhere.
    auto follow = [&](Device& d) {
        if (kind != PA_SUBSCRIPTION_EVENT_CHANGE || index == d.index)
            self->requestInfo(d);
    };
    if (facility == PA_SUBSCRIPTION_EVENT_SINK) {
        follow(self->devices_[0]);
        if (kind != PA_SUBSCRIPTION_EVENT_CHANGE)
            self->requestSinks();
    } else if (facility == PA_SUBSCRIPTION_EVENT_SOURCE)
        follow(self->devices_[1]);
    else if (facility == PA_SUBSCRIPTION_EVENT_SERVER)
        for (Device& d : self->devices_)
            self->requestInfo(d);
}
