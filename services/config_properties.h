#pragma once

#include <juce_core/juce_core.h>

// The key-value pairs behind config.xml, held in file order, and their file: read as the small XML
// settings file it is, written in the framework's properties-file format (a root PROPERTIES with
// one VALUE element per key, the key in "name" and the text in "val").
//
// juce::PropertiesFile is not used because it reads the file as it is built, whatever is there: it
// blocks on a FIFO, inflates its compressed binary format without limit, follows a DTD's entities
// and recurses once per nesting level.
class ConfigProperties
{
public:
    // Files larger than this are no configuration (a real one is well under a kilobyte).
    static constexpr int max_file_bytes = 512 * 1024;
    // Deeper nesting is no configuration either (a real one has two levels).
    static constexpr int max_nesting = 64;

    // Reads nothing yet.
    explicit ConfigProperties(const juce::File& file);
    // Writes a change that is still pending (after a failed save) once more, silently.
    ~ConfigProperties();

    // Reads the file; the keys it holds replace those held, each new key at the end. A file that
    // is not read yields no keys: a folder or malformed XML silently, anything else with one error
    // line that says why.
    void reload();

    // The text of a key, or empty when there is none. Keys are case-sensitive.
    juce::String get_value(const juce::String& key) const;
    // Stores the text and marks the file changed only when it is new or differs.
    void set_value(const juce::String& key, const juce::String& value);
    // Writes the whole file when a change is pending; true when written or nothing was pending.
    bool save_if_needed();

    const juce::File& get_file() const { return file; }

private:
    bool load(juce::StringArray& fileKeys, juce::StringArray& fileValues);
    void put(const juce::String& key, const juce::String& value);

    const juce::File file;
    juce::StringArray keys, values;
    juce::HashMap<juce::String, int> indexOfKey;
    bool needsWriting = false;
    juce::CriticalSection lock;

    JUCE_DECLARE_NON_COPYABLE(ConfigProperties)
};
