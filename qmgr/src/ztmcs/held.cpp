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

std::shared_ptr<Transaction> Transaction::restore(const std::vector<Held>& messages) {
    std::shared_ptr<Transaction> t = create();
    std::lock_guard<std::mutex> lock(engine().mu);
    Impl& impl = *t->impl_;
    for (const Held& h : messages) {
        QMgrPtr qm = qmgrNamed(h.qmgr);
        QueuePtr q = queueNamed(*qm, h.queue);
        auto m = std::make_shared<Message>();
        m->seq = engine().nextSeq++;
        m->md = h.md;
        m->data = h.data;
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
