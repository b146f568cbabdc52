#include "transcript.h"

namespace oplprinter
{

std::string renderEvent(const OplEvent &event)
{
    const std::string prefix = event.net ? "NET." : "";
    switch (event.kind) {
    case OplEventKind::Command:
    case OplEventKind::Query:
        return prefix + event.text;
    case OplEventKind::DataPackage:
        return prefix + event.text + "<" + std::to_string(event.data.size()) + " bytes>";
    case OplEventKind::EndOfCmd:
        return event.text == ";" ? ";" : ";<1 space>";
    case OplEventKind::Filler:
        return "<" + std::to_string(event.raw.size()) + " spaces>";
    case OplEventKind::Error:
        return "!! error: " + event.text;
    }
    return "?";
}

std::string renderTranscript(const std::vector<Exchange> &exchanges,
                             const TranscriptOptions &options)
{
    std::string out;
    for (const auto &x : exchanges) {
        out += renderEvent(x.event);
        out += '\n';
        if (x.reply) {
            out += "  <- ";
            out += *x.reply;
            out += '\n';
        }
        if (options.showDrains)
            for (int i = 0; i < x.drains; ++i)
                out += "  (drain)\n";
    }
    return out;
}

std::vector<std::string> commandTexts(const std::vector<Exchange> &exchanges)
{
    std::vector<std::string> out;
    for (const auto &x : exchanges)
        if (x.event.kind == OplEventKind::Command || x.event.kind == OplEventKind::Query)
            out.push_back(x.event.text);
    return out;
}

int countEvents(const std::vector<Exchange> &exchanges, const std::string &text)
{
    int n = 0;
    for (const auto &x : exchanges)
        if (x.event.text == text && x.event.kind != OplEventKind::Error)
            ++n;
    return n;
}

} // namespace oplprinter
