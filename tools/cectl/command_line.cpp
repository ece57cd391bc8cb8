#include "cectl/command_line.h"

#include <filesystem>
#include <map>

#include "cectl/reg_defines.h"
#include "cectl/stroke.h"

namespace ots::control {
namespace {

const char* const kAbout =
    "Drives a running device host (cehost): plugs simulated touch controllers in and out,\n"
    "touches them, and shows the registry and the injected mouse events.\n";

const char* const kCommandFooter =
    "Positions are screen pixels (800 x 600 by default); --id N picks the controller\n"
    "(default: the first one plugged).";

const char* const kFooter =
    "\"cectl <command> --help\" explains a command. Positions are screen pixels (800 x 600\n"
    "by default).\n\n"
    "The socket: --socket PATH, else $OTS_DEVMGR_SOCKET, else $XDG_RUNTIME_DIR/ots/devmgr.sock,\n"
    "else /tmp/ots-<uid>/devmgr.sock.\n\n"
    "Exit codes: 0 done, 1 usage error, 2 no host answers, 3 the host refused.";

const char* const kPlugDetails =
    "replay FILE plugs a controller that plays back a recording made with --record (or\n"
    "cehost --record): its descriptors, its answers to the driver's requests, its packets.\n"
    "A request other than the one recorded is answered with a stall and reported in the\n"
    "host's log; list shows the replay's progress.\n\n"
    "Panels: coordinate \"ideal\" (default), \"mounted\" (a panel mounted with an offset, a\n"
    "tilt, a bow and noise) or \"shifted\" (offset and turned only); camera \"realistic\"\n"
    "(default), \"mounted\" (shifted, turned and bowed by a few mm) or \"defaults\" (blocks the\n"
    "driver cannot use, so its default models apply). A camera plugged again under its old id\n"
    "finds its stored records again.";

// The words of one command: its own options, and what the parse leaves for the Command.
class CommandBuilder {
  public:
    explicit CommandBuilder(CommandLine& line) : line_(line) {}

    void Define(CLI::App& app) {
        app.add_option("--socket", line_.socketPath, "the host's socket (see below)")
            ->type_name("PATH")
            ->check(NotEmpty());
        DefinePlugging(app);
        DefineTouches(app);
        DefineRegistry(app);
        CLI::App* events = Verb(
            app, "events", Verb::Events, "Prints the injected mouse events as JSON lines.",
            "The last N kept (default all), or with --follow the new ones as they come, until\n"
            "N have come or cectl is stopped.");
        events->add_flag("--follow", command().follow, "print new events as they come");
        events->add_option("--count", command().count, "how many (1-1000000)")
            ->type_name("N")
            ->check(WholeNumber(1, 1000000));
    }

    // After a parse that found no error: the duration the command defaults to, the stroke.
    std::string Finish(const CLI::App& app) {
        if (app.get_subcommands().empty()) {
            return "no command given";
        }
        Command& c = command();
        if (const auto ms = durations_.find(c.verb); ms != durations_.end()) {
            c.durationMs = ms->second.given ? ms->second.value : ms->second.fallback;
        }
        if (c.verb == Verb::Draw && action_.empty()) {
            return "draw takes line, circle or path";
        }
        if (c.verb == Verb::RegDump && action_.empty()) {
            return "reg takes dump [KEY] or import FILE";
        }
        if (c.verb == Verb::Plug) {
            if ((c.kind == ControllerKind::Replay) != !replayFile_.empty()) {
                return replayFile_.empty() ? "plug replay needs the recording's FILE"
                                           : "only plug replay takes a FILE";
            }
            if (c.kind == ControllerKind::Replay && !c.panel.empty()) {
                return "a replayed controller has no --panel";
            }
            if (c.kind == ControllerKind::Replay) {
                line_.fileToRead = replayFile_;
                c.panel = replayFile_;
            }
        }
        if (action_ == "import") {
            c.verb = Verb::RegImport;
            c.fileName = line_.fileToRead;
        }
        if (action_ == "circle") {
            c.points = CircleStroke(c.points.front(), radius_);
        }
        return {};
    }

  private:
    struct Duration {
        std::uint32_t value = 0;
        std::uint32_t fallback = 0;
        bool given = false;
    };

    Command& command() { return line_.command; }

    CLI::App* Verb(CLI::App& app, const std::string& name, enum Verb verb, const std::string& about,
                   const std::string& details = {}) {
        CLI::App* sub = app.add_subcommand(name, about);
        sub->footer(details.empty() ? kCommandFooter : details + "\n\n" + kCommandFooter);
        sub->preparse_callback([this, verb](std::size_t) { command().verb = verb; });
        return sub;
    }

    void AddId(CLI::App* sub) {
        sub->add_option("--id", command().id, "the controller (1-99)")
            ->type_name("N")
            ->check(WholeNumber(1, kMaxControllerId));
    }

    // --ms N; required when the command has no default.
    void AddMs(CLI::App* sub, enum Verb verb, std::uint32_t fallback, const std::string& what) {
        Duration& ms = durations_[verb];
        ms.fallback = fallback;
        CLI::Option* option = sub->add_option_function<std::string>(
                                     "--ms",
                                     [&ms](const std::string& text) {
                                         ms.value = static_cast<std::uint32_t>(std::stoul(text));
                                         ms.given = true;
                                     },
                                     what)
                                  ->type_name("N")
                                  ->check(WholeNumber(0, kMaxDurationMs));
        if (fallback == 0) {
            option->required();
        }
    }

    // Positions X Y (or X1 Y1 X2 Y2) appended to the stroke.
    void AddPoints(CLI::App* sub, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            sub->add_option_function<std::string>(
                   name,
                   [this, name](const std::string& text) {
                       const double px = *ParseCoordinate(text);
                       if (name[0] == 'X') {
                           command().points.push_back({px, 0.0});
                       } else {
                           command().points.back().yPx = px;
                       }
                   },
                   "screen pixels")
                ->type_name("")
                ->required()
                ->check(Position());
        }
    }

    void DefinePlugging(CLI::App& app) {
        CLI::App* plug =
            Verb(app, "plug", Verb::Plug,
                 "Plugs a simulated controller in; prints its id and device.", kPlugDetails);
        plug->add_option_function<std::string>(
                "KIND",
                [this](const std::string& kind) {
                    command().kind = kind == "camera"   ? ControllerKind::Camera
                                     : kind == "replay" ? ControllerKind::Replay
                                                        : ControllerKind::Coordinate;
                },
                "coordinate, camera or replay")
            ->type_name("")
            ->required()
            ->check(OneOf({"coordinate", "camera", "replay"}));
        plug->add_option("FILE", replayFile_, "replay: the recording to play back")->type_name("");
        plug->add_option_function<std::string>(
                "--record",
                [this](const std::string& path) {
                    command().fileName = std::filesystem::absolute(path).string();
                },
                "record the controller's traffic into FILE")
            ->type_name("FILE")
            ->check(NotEmpty());
        plug->add_option("--panel", command().panel, "the simulated panel (see below)")
            ->type_name("NAME");
        plug->add_option("--id", command().id, "the id to give it (1-99)")
            ->type_name("N")
            ->check(WholeNumber(1, kMaxControllerId));
        CLI::App* unplug = Verb(app, "unplug", Verb::Unplug, "Pulls controller ID out of the bus.");
        unplug->add_option("ID", command().id, "the controller")
            ->type_name("")
            ->required()
            ->check(WholeNumber(1, kMaxControllerId));
        Verb(app, "list", Verb::List, "Lists the plugged controllers.",
             "One line per plugged controller: id, kind, panel, stream device, state.");
    }

    void DefineTouches(CLI::App& app) {
        CLI::App* tap =
            Verb(app, "tap", Verb::Tap, "Touches X Y briefly.",
                 "Touches X Y, holds N ms and lifts; then prints the finger's position\n"
                 "and what the driver injected.");
        AddPoints(tap, {"X", "Y"});
        AddMs(tap, Verb::Tap, kDefaultTapHoldMs, "how long to hold, ms (default 50)");
        AddId(tap);
        CLI::App* touch =
            Verb(app, "touch", Verb::Touch, "Touches X Y, holds N ms and lifts.")->alias("hold");
        AddPoints(touch, {"X", "Y"});
        AddMs(touch, Verb::Touch, 0, "how long to hold, ms");
        AddId(touch);
        CLI::App* drag = Verb(app, "drag", Verb::Drag, "Drags from X1 Y1 to X2 Y2.",
                              "Touches X1 Y1, moves in a straight line to X2 Y2 in N ms, lifts.");
        AddPoints(drag, {"X1", "Y1", "X2", "Y2"});
        AddMs(drag, Verb::Drag, kDefaultDragMs, "how long the move takes, ms (default 300)");
        AddId(drag);
        CLI::App* draw = Verb(app, "draw", Verb::Draw, "Draws one stroke: line, circle or path.",
                              "Draws one stroke in N ms: a line, a circle of radius R round X Y,\n"
                              "or the points of FILE. The options follow the shape.");
        AddMs(draw, Verb::Draw, kDefaultDrawMs, "how long the stroke takes, ms (default 1000)");
        AddId(draw);
        CLI::App* line = Action(draw, "line", "A straight line.");
        AddPoints(line, {"X1", "Y1", "X2", "Y2"});
        CLI::App* circle = Action(draw, "circle", "A circle of radius R round X Y.");
        AddPoints(circle, {"X", "Y"});
        circle->add_option("R", radius_, "the radius in pixels")
            ->type_name("")
            ->required()
            ->check(NumberAbove(0));
        CLI::App* path =
            Action(draw, "path", "The points of FILE: \"x y\" per line, '#' starts a comment.");
        path->add_option("FILE", line_.fileToRead, "the points")->type_name("")->required();
    }

    // The shape of a drawing, or what to do with the registry; the command's options follow it.
    CLI::App* Action(CLI::App* verb, const std::string& name, const std::string& about) {
        CLI::App* action = verb->add_subcommand(name, about)->fallthrough();
        action->preparse_callback([this, name](std::size_t) { action_ = name; });
        return action;
    }

    void DefineRegistry(CLI::App& app) {
        CLI::App* reg = Verb(app, "reg", Verb::RegDump, "Shows the registry or merges into it.");
        Action(reg, "dump", "Prints the registry, or KEY and its subkeys, as .reg text.")
            ->add_option("KEY", command().text, "a key")
            ->type_name("");
        CLI::App* import = Action(
            reg, "import", "Merges a .reg file (regedit's or a device image's) into the registry.");
        import->add_option("FILE", line_.fileToRead, "the .reg file")->type_name("")->required();
        AddRegDefineOption(*import, line_.defines);
    }

    CommandLine& line_;
    std::map<enum Verb, Duration> durations_;
    std::string action_;
    std::string replayFile_;
    double radius_ = 0.0;
};

}  // namespace

CommandLine ParseCommandLine(std::span<const std::string> args) {
    CommandLine line;
    CLI::App app(kAbout, "cectl");
    app.footer(kFooter);
    CommandBuilder builder(line);
    builder.Define(app);
    Parsed parsed = ParseWith(app, args);
    if (parsed.outcome == ParseOutcome::Run) {
        if (const std::string error = builder.Finish(app); !error.empty()) {
            parsed = UsageError(app, error);
        }
    }
    if (parsed.outcome != ParseOutcome::Run) {
        CommandLine failed;
        failed.outcome = parsed.outcome;
        failed.message = std::move(parsed.message);
        return failed;
    }
    line.outcome = ParseOutcome::Run;
    return line;
}

}  // namespace ots::control
