#include "operations/initial_data_load.h"

#include "operations/pacing.h"
#include "operations/timer_setup.h"
#include "protocol/frames.h"

namespace quellaton {

InitialDataLoad::InitialDataLoad(UnitLink& link, LiveWriter& writer, UnitModel& model,
                                 QObject* parent)
    : Operation(link, parent), writer_(writer), model_(model) {
    SetUpTimer(sourceTimeout_, this, "sourceUnitTimeout", pacing::SourceUnitTimeoutMs, true);
    connect(&sourceTimeout_, &QTimer::timeout, this, [this] {
        progress_.stop();
        if (state_ == State::AwaitingSource) {
            state_ = State::Choosing;
        }
        emit sourceSilent();
    });
    SetUpTimer(progress_, this, "initialLoadProgress", pacing::InitialLoadFileTickMs, false);
    connect(&progress_, &QTimer::timeout, this, [this] {
        ticks_ += 1;
        emit progress(ticks_, pacing::InitialLoadTicks);
        if (ticks_ < pacing::InitialLoadTicks) {
            return;
        }
        progress_.stop();
        progressDone_ = true;
        // The load ends once the distribution has ended as well, so no edit can be made before
        // the image is shown (and overwritten by it).
        if (state_ == State::AwaitingProgress) {
            finish(Result::Done);
        }
    });
}

void InitialDataLoad::begin() {
    state_ = State::Choosing;
    claimReplies();
}

void InitialDataLoad::startProgress(int tickMs) {
    ticks_ = 0;
    progressDone_ = false;
    progress_.setInterval(tickMs);
    progress_.start();
    emit progressStarted();
    emit progress(0, pacing::InitialLoadTicks);
}

void InitialDataLoad::loadFromUnit(int id) {
    if (!running() || distributing() || id < 1 || id > 255) {
        return;
    }
    source_ = Source::Unit;
    sourceAddress_ = id - 1;
    awaitingUnit_ = true;
    state_ = State::AwaitingSource;
    startProgress(pacing::InitialLoadUnitTickMs);
    sourceTimeout_.start();
    link_.clearReceived();
    write(ImageRead(sourceAddress_), [](bool) {});
}

void InitialDataLoad::loadFromImage(const QByteArray& imageText) {
    if (!running() || distributing()) {
        return;
    }
    writer_.stopPollAndQueue();
    source_ = Source::File;
    image_ = imageText;
    startProgress(pacing::InitialLoadFileTickMs);
    distribute(false);
}

bool InitialDataLoad::claim(const Reply& reply) {
    if (reply.kind != Reply::Kind::Image || !awaitingUnit_) {
        return false;
    }
    awaitingUnit_ = false;
    sourceTimeout_.stop();
    link_.clearReceived();
    if (distributing()) {
        // A source unit answered late while a file is already being distributed: the file was
        // the user's later choice, so that reply is dropped.
        return true;
    }
    image_ = reply.text;
    if (!progress_.isActive()) {
        // A late reply after the choice was opened again: its progress as for a prompt one.
        startProgress(pacing::InitialLoadUnitTickMs);
    }
    distribute(true);
    return true;
}

void InitialDataLoad::distribute(bool fromUnit) {
    state_ = State::Distributing;
    // Nothing else may go out between the head and the rest of an image write.
    writer_.pause();
    const int address = BroadcastAddress;
    const int secondRestPause =
        fromUnit ? pacing::BroadcastSecondRestPauseFromUnitMs : pacing::ImageHeadPauseMs;
    after(pacing::BroadcastLeadPauseMs, [this, address, secondRestPause] {
        write(StatusPoll(address), [this, address, secondRestPause](bool) {
            after(pacing::BroadcastPollPauseMs, [this, address, secondRestPause] {
                write(StatusPoll(address), [this, address, secondRestPause](bool) {
                    after(pacing::BroadcastPollPauseMs, [this, address, secondRestPause] {
                        writeImage(address, ImageWriteCounter, image_, pacing::ImageHeadPauseMs,
                                   [this, address, secondRestPause] {
                                       after(pacing::BroadcastImagePauseMs,
                                             [this, address, secondRestPause] {
                                                 writeImage(address, ImageWriteCounter, image_,
                                                            secondRestPause,
                                                            [this] { distributionEnded(); });
                                             });
                                   });
                    });
                });
            });
        });
    });
}

void InitialDataLoad::distributionEnded() {
    model_.replaceImage(DecodeImageText(image_));
    link_.clearReceived();
    state_ = State::Settling;
    after(pacing::BroadcastEndPauseMs, [this] {
        writer_.startQueue();
        state_ = State::AwaitingProgress;
        if (progressDone_) {
            finish(Result::Done);
        }
    });
}

} // namespace quellaton
