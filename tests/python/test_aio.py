"""talkwire.aio against the simulated voice service: helpers that resolve,
fail with the service's status, and cancel without leaving a waiter behind;
join failures given to the right join; two connectors on one loop; a
callback that stops the loop; a quit left for Run that must not make the
loop spin.  The cases are in aio_cases (3.x syntax); before 3.7 only the
import's refusal is tested."""
import sys
import unittest

if sys.version_info >= (3, 7):
    from aio_cases import AioJoinFailureTest, AioTest, AioTimedPumpTest  # noqa: F401 (run from here)


class AioOldInterpreterTest(unittest.TestCase):
    @unittest.skipUnless(sys.version_info < (3, 7), "only before 3.7")
    def test_import_says_what_it_needs(self):
        with self.assertRaises(ImportError) as caught:
            __import__("talkwire.aio")
        self.assertIn("needs Python 3.7", str(caught.exception))


if __name__ == "__main__":
    unittest.main()
