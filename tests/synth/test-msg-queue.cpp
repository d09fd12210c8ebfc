/* test-msg-queue.cpp: bounded ring buffer between threads */
#include "vorn-msg-queue.h"
#include "vorn-test-log.h"

#include <atomic>
#include <memory>
#include <vector>

namespace {

/* Not pointer-sized, so positions advance by a size other than 8. */
struct Item {
  gint32 producer;
  gint32 seq;
  gint32 pad;
};

struct QueueDeleter {
  void operator() (VornMsgQueue *q) const { vorn_msg_queue_free (q); }
};
using QueuePtr = std::unique_ptr<VornMsgQueue, QueueDeleter>;

Item
pop_item (VornMsgQueue *q)
{
  Item it{-1, -1, -1};
  vorn_msg_queue_pop (q, &it);
  return it;
}

} // namespace

TEST (MsgQueue, CapacityFifoAndWrapAround)
{
  QueuePtr q (vorn_msg_queue_new (sizeof (Item), 3));
  ASSERT_TRUE (q);

  for (int i = 0; i < 3; i++)
    {
      Item it{0, i, 0};
      EXPECT_TRUE (vorn_msg_queue_push (q.get (), &it));
    }
  Item extra{0, 99, 0};
  EXPECT_FALSE (vorn_msg_queue_push (q.get (), &extra));
  EXPECT_FALSE (vorn_msg_queue_push_unlocked (q.get (), &extra));
  EXPECT_EQ (pop_item (q.get ()).seq, 0);
  Item three{0, 3, 0};
  EXPECT_TRUE (vorn_msg_queue_push (q.get (), &three));
  EXPECT_FALSE (vorn_msg_queue_push (q.get (), &extra));

  /* Fill levels that vary from fragment to fragment walk the positions
   * round the ring many times; the refused item must not appear. */
  int next_in = 4, next_out = 1;
  for (int round = 0; round < 50; round++)
    {
      int pops = 1 + round % 3;
      for (int i = 0; i < pops; i++)
        ASSERT_EQ (pop_item (q.get ()).seq, next_out++);
      for (int i = 0; i < pops; i++)
        {
          Item it{0, next_in++, 0};
          ASSERT_TRUE (vorn_msg_queue_push (q.get (), &it));
        }
    }

  Item out{};
  while (vorn_msg_queue_pop_unlocked (q.get (), &out))
    EXPECT_EQ (out.seq, next_out++);
  EXPECT_EQ (next_out, next_in);

  Item untouched{7, 8, 9};
  EXPECT_FALSE (vorn_msg_queue_pop_unlocked (q.get (), &untouched));
  EXPECT_EQ (untouched.producer, 7);
  EXPECT_EQ (untouched.seq, 8);
  EXPECT_EQ (untouched.pad, 9);
}

TEST (MsgQueue, RefusesBadSizes)
{
  EXPECT_EQ (vorn_msg_queue_new (0, 4), nullptr);
  EXPECT_CRITICAL ("item_size > 0");
  EXPECT_EQ (vorn_msg_queue_new (8, 0), nullptr);
  EXPECT_CRITICAL ("capacity > 0");
  EXPECT_EQ (vorn_msg_queue_new (1 << 20, 1 << 20), nullptr);
  EXPECT_CRITICAL ("((gint64) capacity + 1) * item_size <= G_MAXINT32");
}

/* Two threads hand a token back and forth: each pop must wait for the
 * other side's push and return exactly what was pushed. */
TEST (MsgQueue, PopWaitsForPush)
{
  QueuePtr ping (vorn_msg_queue_new (sizeof (Item), 1));
  QueuePtr pong (vorn_msg_queue_new (sizeof (Item), 1));
  std::atomic<int> pushed{0};
  constexpr int ROUNDS = 2000;

  struct Ctx {
    VornMsgQueue *ping, *pong;
    std::atomic<int> *pushed;
    int mismatches;
  } ctx{ping.get (), pong.get (), &pushed, 0};

  GThread *echo = g_thread_new ("echo", [] (gpointer data) -> gpointer {
    auto *c = static_cast<Ctx *> (data);
    for (int i = 0; i < ROUNDS; i++)
      {
        Item it = pop_item (c->ping);
        /* Had the pop returned early it would see an older count. */
        if (it.seq != i || c->pushed->load () != i + 1)
          c->mismatches++;
        it.seq = -it.seq;
        vorn_msg_queue_push (c->pong, &it);
      }
    return nullptr;
  }, &ctx);

  for (int i = 0; i < ROUNDS; i++)
    {
      Item it{0, i, 0};
      pushed.store (i + 1);
      ASSERT_TRUE (vorn_msg_queue_push (ping.get (), &it));
      ASSERT_EQ (pop_item (pong.get ()).seq, -i);
    }
  g_thread_join (echo);
  EXPECT_EQ (ctx.mismatches, 0);
}

/* Two producers and two consumers through a small queue: every item arrives
 * exactly once, and each consumer sees each producer's items in order. */
TEST (MsgQueue, ProducersAndConsumers)
{
  constexpr int PER_PRODUCER = 5000;
  QueuePtr q (vorn_msg_queue_new (sizeof (Item), 4));

  struct Shared {
    VornMsgQueue *q;
    std::atomic<int> seen[2][PER_PRODUCER];
    int order_errors[2];
  };
  auto *sh = new Shared{};
  sh->q = q.get ();

  struct Arg {
    Shared *sh;
    int id;
  } args[2] = {{sh, 0}, {sh, 1}};

  auto producer = [] (gpointer data) -> gpointer {
    auto *a = static_cast<Arg *> (data);
    for (int i = 0; i < PER_PRODUCER; i++)
      {
        Item it{a->id, i, 0};
        while (!vorn_msg_queue_push (a->sh->q, &it))
          g_thread_yield ();
      }
    return nullptr;
  };
  auto consumer = [] (gpointer data) -> gpointer {
    auto *a = static_cast<Arg *> (data);
    int last[2] = {-1, -1};
    for (;;)
      {
        Item it = pop_item (a->sh->q);
        if (it.producer < 0)
          break;
        if (it.seq <= last[it.producer])
          a->sh->order_errors[a->id]++;
        last[it.producer] = it.seq;
        a->sh->seen[it.producer][it.seq]++;
      }
    return nullptr;
  };

  GThread *threads[4] = {
    g_thread_new ("consumer", consumer, &args[0]),
    g_thread_new ("consumer", consumer, &args[1]),
    g_thread_new ("producer", producer, &args[0]),
    g_thread_new ("producer", producer, &args[1]),
  };
  g_thread_join (threads[2]);
  g_thread_join (threads[3]);
  Item stop{-1, 0, 0};
  for (int i = 0; i < 2; i++)
    while (!vorn_msg_queue_push (q.get (), &stop))
      g_thread_yield ();
  g_thread_join (threads[0]);
  g_thread_join (threads[1]);

  EXPECT_EQ (sh->order_errors[0] + sh->order_errors[1], 0);
  int wrong = 0;
  for (auto &per : sh->seen)
    for (auto &n : per)
      wrong += n.load () != 1;
  EXPECT_EQ (wrong, 0);
  delete sh;
}

/* A batch pushed under the lock reaches every waiting consumer through the
 * broadcast of unlock; a single signal would leave all but one asleep. */
TEST (MsgQueue, BatchUnderLockWakesAllWaiters)
{
  constexpr int WAITERS = 4;
  QueuePtr q (vorn_msg_queue_new (sizeof (gpointer), WAITERS));
  struct Ctx {
    VornMsgQueue *q;
    std::atomic<int> ready, sum;
  } ctx{q.get (), {0}, {0}};

  std::vector<GThread *> threads;
  for (int i = 0; i < WAITERS; i++)
    threads.push_back (g_thread_new ("waiter", [] (gpointer data) -> gpointer {
      auto *c = static_cast<Ctx *> (data);
      c->ready++;
      gpointer item = nullptr;
      vorn_msg_queue_pop (c->q, &item);
      c->sum += GPOINTER_TO_INT (item);
      return nullptr;
    }, &ctx));
  while (ctx.ready.load () < WAITERS)
    g_thread_yield ();

  vorn_msg_queue_lock (q.get ());
  for (int i = 1; i <= WAITERS; i++)
    {
      gpointer item = GINT_TO_POINTER (i);
      ASSERT_TRUE (vorn_msg_queue_push_unlocked (q.get (), &item));
    }
  vorn_msg_queue_unlock (q.get ());

  for (GThread *t : threads)
    g_thread_join (t);
  EXPECT_EQ (ctx.sum.load (), WAITERS * (WAITERS + 1) / 2);
}
