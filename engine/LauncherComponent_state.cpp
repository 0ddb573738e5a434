// LauncherComponent: construction, the state display and the spinner.
#include "engine/LauncherComponent.h"

#include <cmath>

#include "services/log.h"
#include "ui/embedded_font.h"
#include "ui/palette.h"

namespace
{
juce::Colour level_colour(utils::Level level)
{
    switch (level)
    {
        case utils::Level::info: return juce::Colours::white;
        case utils::Level::warning: return Palette::warning;
        case utils::Level::error: return Palette::error;
    }
    // A level outside the table leaves the text invisible.
    return {};
}

// `progress` is declared after the progress bar, whose constructor already reads it.
double& zeroed(double& value)
{
    value = 0.0;
    return value;
}
} // namespace

LauncherComponent::LauncherComponent(bool skipUpdateOption, bool skipAppUpdateOption, bool writeConfigOption)
    : juce::Thread("LauncherComponent"),
      skipAppUpdate(skipAppUpdateOption),
      skipUpdate(skipUpdateOption),
      progressBar(zeroed(progress)),
      writeConfig(writeConfigOption)
{
    addChildComponent(progressBar);
    stateLabel.setJustificationType(juce::Justification::topLeft);
    stateLabel.setFont(embedded_font().withHeight(16.5f));
    addAndMakeVisible(stateLabel);

    // The worker makes SafePointers to this component and asks the Desktop's animator about the
    // label; create both shared objects here, on the message thread, so the worker only reads them.
    const SafePointer<LauncherComponent> anchor(this);
    juce::Desktop::getInstance().getAnimator();
}

LauncherComponent::~LauncherComponent()
{
    // The worker is never killed: a request in flight is cancelled, every wait polls the exit flag,
    // and the members stay alive until the worker has ended.
    signalThreadShouldExit();
    requestCanceller.cancel();
    notify();
    waitForThreadToExit(-1);
}

void LauncherComponent::post_display_change(std::function<void(LauncherComponent&)> change)
{
    juce::MessageManager::callAsync(
        [self = SafePointer<LauncherComponent>(this), change = std::move(change)]
        {
            if (auto* component = self.getComponent())
                change(*component);
        });
}

void LauncherComponent::update_state(const juce::String& text, bool log, bool hideProgress, utils::Level level)
{
    if (hideProgress)
        post_display_change([](LauncherComponent& c) { c.progressBar.setVisible(false); });

    cancel_state_animation();

    const auto colour = level_colour(level);
    post_display_change(
        [text, colour](LauncherComponent& c)
        {
            auto& label = c.stateLabel;
            label.setVisible(false);
            label.setAlpha(1.0f);
            label.setText(text, juce::sendNotification);
            label.setColour(juce::Label::textColourId, colour);
            label.setVisible(true);
        });

    if (log)
        log_line("[STATE]: " + text, false);
}

void LauncherComponent::clear_state(int milliseconds)
{
    post_display_change([milliseconds](LauncherComponent& c)
                        { juce::Desktop::getInstance().getAnimator().fadeOut(&c.stateLabel, milliseconds); });
}

void LauncherComponent::cancel_state_animation()
{
    if (! juce::Desktop::getInstance().getAnimator().isAnimating(&stateLabel))
        return;

    post_display_change([](LauncherComponent& c)
                        { juce::Desktop::getInstance().getAnimator().cancelAnimation(&c.stateLabel, false); });
}

void LauncherComponent::start_spinner()
{
    animating = true;
    // The animation timer is a private base of AnimatedAppComponent: 62 frames per second is
    // its 16 ms period.
    post_display_change([](LauncherComponent& c) { c.setFramesPerSecond(62); });
}

void LauncherComponent::update()
{
    if (! animating)
        return;

    const auto frame = (float) getFrameCounter();
    spinnerRadius = 2.0f * std::sin(frame * 0.0079f) + 12.0f;

    if (getFrameCounter() % 4 == 0)
    {
        spinnerPointCount += spinnerStep;
        if (spinnerPointCount < 400 || spinnerPointCount > 600)
            spinnerStep = -spinnerStep;
    }
}

void LauncherComponent::paint(juce::Graphics& g)
{
    g.fillAll(Palette::background);

    if (! animating)
        return;

    g.setColour(Palette::accent);

    const auto cx = (float) getWidth() - 19.0f;
    const auto cy = (float) getHeight() * 0.5f;
    const auto phase = (float) getFrameCounter() * 0.042f;

    juce::Path path;
    for (int i = spinnerPointCount; i >= 1; --i)
    {
        const auto t = (float) i * 0.01f + phase;
        const auto x = std::sin(t) * spinnerRadius + cx;
        const auto y = std::cos(t) * spinnerRadius + cy;
        const auto s = (float) i * 0.05f;
        g.fillEllipse(x - s * 0.05f, y - s * 0.05f, s * 0.1f, s * 0.1f);

        if (i == spinnerPointCount)
            path.startNewSubPath(x, y);
        else
            path.lineTo(x, y);
    }

    g.strokePath(path,
                 juce::PathStrokeType(1.5f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt),
                 juce::AffineTransform());
}

void LauncherComponent::resized()
{
    const auto w = getWidth();
    const auto h = (double) getHeight();

    stateLabel.setBounds(0, juce::roundToIntAccurate(h * 0.2), w, juce::roundToIntAccurate(h * 0.75));
    progressBar.setBounds(0, juce::roundToIntAccurate(h * 0.55), w, juce::roundToIntAccurate(h * 0.225));
}
