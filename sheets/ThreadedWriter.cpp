#include "sheets/SheetWriter.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <variant>

namespace sheets {

namespace {

constexpr int kBatchRows = 256;
constexpr size_t kBatchesWaiting = 4;

// Hands rows over to a thread that writes them with the writer it wraps.
class ThreadedWriter final : public Writer {
public:
    explicit ThreadedWriter(std::unique_ptr<Writer> inner) : m_inner(std::move(inner)), m_thread([this] { serve(); }) {}

    ~ThreadedWriter() override { discard(); }

    void beginSheet(const QString &name, const QList<Column> &columns) override
    {
        hand();
        push(Step{SheetStart{name, columns}});
    }

    void addRow(const QStringList &cells, Style style) override
    {
        if (failed())
            return;
        m_batch.rows.append(cells);
        m_batch.styles.append(style);
        ++m_rows;
        if (m_batch.rows.size() >= kBatchRows)
            hand();
    }

    bool finish() override
    {
        hand();
        stop(false);
        const bool written = !failed() && m_inner->finish();
        m_finished = true;
        takeOver();
        return written;
    }

    void discard() override
    {
        if (!m_finished)
            stop(true);
    }

private:
    struct SheetStart {
        QString name;
        QList<Column> columns;
    };
    struct Rows {
        QList<QStringList> rows;
        QList<Style> styles;
    };
    using Step = std::variant<SheetStart, Rows>;

    void hand()
    {
        if (m_batch.rows.isEmpty())
            return;
        push(Step{std::move(m_batch)});
        m_batch = Rows();
    }

    void push(Step step)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_steps.size() < kBatchesWaiting || m_done; });
        if (!m_innerError.isEmpty())
            fail(m_innerError);
        if (m_done)
            return;
        m_steps.push_back(std::move(step));
        m_changed.notify_all();
    }

    void serve()
    {
        for (;;) {
            Step step;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [this] { return !m_steps.empty() || m_ending || m_done; });
                if (m_done || (m_steps.empty() && m_ending))
                    return;
                step = std::move(m_steps.front());
                m_steps.erase(m_steps.begin());
                m_changed.notify_all();
            }
            if (const auto *sheet = std::get_if<SheetStart>(&step)) {
                m_inner->beginSheet(sheet->name, sheet->columns);
            } else {
                const Rows &rows = std::get<Rows>(step);
                for (qsizetype i = 0; i < rows.rows.size() && !m_inner->failed(); ++i)
                    m_inner->addRow(rows.rows.at(i), rows.styles.at(i));
            }
            if (m_inner->failed()) {
                std::lock_guard lock(m_mutex);
                m_innerError = m_inner->errorText();
                m_done = true;
                m_changed.notify_all();
                return;
            }
        }
    }

    // Ends the thread: after the rows handed over, or at once (`drop`, the
    // file then discarded).
    void stop(bool drop)
    {
        {
            std::lock_guard lock(m_mutex);
            if (drop)
                m_done = true;
            m_ending = true;
            m_changed.notify_all();
        }
        if (m_thread.joinable())
            m_thread.join();
        if (drop)
            m_inner->discard();
        if (!m_innerError.isEmpty())
            fail(m_innerError);
    }

    void takeOver()
    {
        m_rows = m_inner->rowsWritten();
        m_cut = m_inner->cutCells();
        if (m_inner->failed())
            fail(m_inner->errorText());
    }

    std::unique_ptr<Writer> m_inner;
    Rows m_batch;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Step> m_steps;
    bool m_ending = false;
    bool m_done = false;
    bool m_finished = false;
    QString m_innerError;
    std::thread m_thread; // last: it starts once everything it uses is there
};

} // namespace

std::unique_ptr<Writer> onThreadOfItsOwn(std::unique_ptr<Writer> writer)
{
    return std::make_unique<ThreadedWriter>(std::move(writer));
}

} // namespace sheets
