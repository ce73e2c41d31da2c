#include "AppTestSupport.h"

#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/Forms.h"
#include "platform/MMError.h"

#include <gtest/gtest.h>

#include <thread>

TEST(ErrorBoxTest, AnOperatorsErrorIsShownAndTheProgramGoesOn) {
    bool finished = true;
    const QString text =
        AnswerMessageBox([&] { finished = RunAction([] { throw EMMError("WaveInOpen:\n\rno device"); }); });
    EXPECT_EQ(text, "WaveInOpen:\n\rno device");
    EXPECT_FALSE(finished);

    EXPECT_EQ(AnswerMessageBox([] { RunAction([] { throw 42; }); }), "Unknown error");

    int runs = 0;
    EXPECT_TRUE(RunAction([&] { ++runs; }));
    EXPECT_EQ(runs, 1);
}

TEST(ErrorBoxTest, PeriodicHandlersSwallowTheirErrors) {
    bool boxSeen = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QApplication::activeModalWidget() != nullptr) {
            boxSeen = true;
            QApplication::activeModalWidget()->close();
        }
    });
    watch.start(5);
    EXPECT_FALSE(RunQuietly([] { throw EMMError("tick failed"); }));
    EXPECT_TRUE(RunQuietly([] {}));
    QCoreApplication::processEvents();
    EXPECT_FALSE(boxSeen);
}

TEST(FormRegistryTest, FormsInCreationOrderAndDestroyedOnesDropOut) {
    auto *first = new QWidget;
    auto *second = new QWidget;
    auto *third = new QWidget;
    RegisterForm(first);
    RegisterForm(second);
    RegisterForm(third);
    RegisterForm(first); // once only
    QList<QWidget *> forms = ApplicationForms();
    ASSERT_GE(forms.size(), 3);
    forms = forms.mid(forms.indexOf(first));
    EXPECT_EQ(forms, (QList<QWidget *>{first, second, third}));
    delete second;
    EXPECT_FALSE(ApplicationForms().contains(second));
    EXPECT_EQ(ApplicationForms().indexOf(third), ApplicationForms().indexOf(first) + 1);
    delete first;
    delete third;
}

TEST(StartOptionsTest, HelpVersionAndRefusedArguments) {
    const auto read = [](const QStringList &args) {
        QCommandLineParser parser;
        DeclareOptions(parser);
        return ReadOptions(parser, QStringList{"VelmoraPro"} + args);
    };
    EXPECT_TRUE(read({"--help"}).ShowHelp);
    EXPECT_TRUE(read({"-h"}).ShowHelp);
    EXPECT_TRUE(read({"--version"}).ShowVersion);
    const TStartOptions plain = read({});
    EXPECT_FALSE(plain.ShowHelp || plain.ShowVersion);
    EXPECT_TRUE(plain.Error.isEmpty());
    EXPECT_FALSE(read({"--no-such-option"}).Error.isEmpty());
    EXPECT_FALSE(read({"stray"}).Error.isEmpty());
}

TEST(StartOptionsTest, TheToolkitsOwnOptionsAreNotRefused) {
    QCommandLineParser parser;
    DeclareOptions(parser);
    const TStartOptions options =
        ReadOptions(parser, {"VelmoraPro", "-platform", "xcb", "-display", ":1", "-reverse"});
    EXPECT_TRUE(options.Error.isEmpty()) << options.Error.toStdString();
    EXPECT_FALSE(options.ShowHelp);
}

TEST(ErrorBoxTest, ErrorsFromOtherThreadsAreShownOnTheGuiThread) {
    std::exception_ptr error;
    try {
        throw EMMError("timer tick failed");
    } catch (...) {
        error = std::current_exception();
    }
    QString text = AnswerMessageBox([&] {
        std::thread worker([&] { ShowApplicationException(error); });
        worker.join();
        // The box comes up once the GUI thread gets to the posted call.
        QCoreApplication::processEvents();
    });
    EXPECT_EQ(text, "timer tick failed");
}
