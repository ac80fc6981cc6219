// Copying a prepared unit of work out of the engine and back in (engine.h,
// Transaction::held and Transaction::restore).
#include "state.h"

namespace ztmeng {

bool Transaction::held(std::vector<Held>& out) const {
    std::lock_guard<std::mutex> lock(engine().mu);
    out.clear();
    if (impl_->state != State::Prepared) return false;
    for (const Op& op : impl_->ops) {
        if ((op.kind != Op::Kind::Put && op.kind != Op::Kind::Get) || op.msg->deferred) {
            out.clear();
            return false;
        }
        Held h;
        h.got = op.kind == Op::Kind::Get;
        h.qmgr = op.queue->qmgr != nullptr ? op.queue->qmgr->name : std::string();
        h.queue = op.queue->name;
        h.md = op.msg->md;
        h.data = op.msg->data;
        out.push_back(std::move(h));
    }
    return true;
}

namespace {

// A got message that the message store kept is on its queue again, loaded
// with the store: the branch takes that one instead of a second copy. Any
// visible kept message with the same descriptor (the backout count aside: it
// is not kept) and data will do; identical messages are interchangeable.
MsgPtr keptCopy(const Queue& q, const Transaction::Held& h) {
    if (!persistent(h.md)) return nullptr;
    for (const auto& kv : q.msgs) {
        const Message& m = *kv.second;
        if (m.durableId == 0 || m.state != Message::State::Visible || m.data != h.data) continue;
        ZTMD md = m.md;
        md.backoutCount = h.md.backoutCount;
        if (std::memcmp(&md, &h.md, sizeof md) == 0) return kv.second;
    }
    return nullptr;
}

}  // namespace

std::shared_ptr<Transaction> Transaction::restore(const std::vector<Held>& messages) {
    std::shared_ptr<Transaction> t = create();
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.mu);
    Impl& impl = *t->impl_;
    for (const Held& h : messages) {
        QMgrPtr qm = qmgrNamed(h.qmgr);
        QueuePtr q = queueNamed(*qm, h.queue);
        if (h.got) {
            if (MsgPtr kept = keptCopy(*q, h)) {
                setStateLocked(*q, *kept, Message::State::LockedGet);
                kept->md.backoutCount = h.md.backoutCount;
                kept->owner = &impl;
                impl.ops.push_back(Op{Op::Kind::Get, q, kept});
                continue;
            }
        }
        auto m = std::make_shared<Message>();
        m->seq = engine().nextSeq++;
        m->md = h.md;
        m->data = h.data;
        // A put the branch commits is kept then, like any other.
        if (!h.got && e.store && persistent(h.md)) m->durableId = e.nextDurableId++;
        // Neither state counts as visible, so the queue's count stays right.
        m->state = h.got ? Message::State::LockedGet : Message::State::PendingPut;
        m->owner = &impl;
        q->msgs.emplace(m->seq, m);
        impl.ops.push_back(Op{h.got ? Op::Kind::Get : Op::Kind::Put, q, m});
    }
    impl.state = State::Prepared;
    return t;
}

}  // namespace ztmeng
