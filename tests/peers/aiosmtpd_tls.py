"""aiosmtpd for the tests, with what its command line lacks: STARTTLS or
TLS from the first byte, and a login required before mail is taken.

Prints "ready" once it listens and runs until it is terminated."""

import argparse
import signal
import ssl
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.handlers import Mailbox
from aiosmtpd.smtp import AuthResult, LoginPassword


class OnlyOtherMechanism(Mailbox):
    """Offers a login method the client does not speak, and nothing else."""

    async def auth_CRAM__MD5(self, server, args):
        return AuthResult(success=False, handled=False)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--maildir", required=True)
    parser.add_argument("--mode", choices=["plain", "starttls", "tls"], default="plain")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--exclude", action="append", default=[])
    parser.add_argument("--only-cram-md5", action="store_true")
    args = parser.parse_args()

    context = None
    if args.mode != "plain":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (
            isinstance(auth_data, LoginPassword)
            and auth_data.login.decode() == args.user
            and auth_data.password.decode() == args.password
        )
        # Not handled: the server itself answers a refusal with 535.
        return AuthResult(success=ok, handled=ok)

    handler = (OnlyOtherMechanism if args.only_cram_md5 else Mailbox)(args.maildir)
    exclude = list(args.exclude)
    if args.only_cram_md5:
        exclude += ["PLAIN", "LOGIN"]
    kwargs = {}
    if args.user is not None:
        kwargs.update(authenticator=authenticator, auth_required=True)
    if exclude:
        kwargs["auth_exclude_mechanism"] = exclude
    if args.mode == "starttls":
        kwargs.update(tls_context=context, require_starttls=True)
    elif args.mode == "tls":
        # The whole session is TLS; the server knows TLS only from STARTTLS.
        kwargs.update(ssl_context=context, auth_require_tls=False)

    controller = Controller(handler, hostname=args.host, port=args.port, **kwargs)
    controller.start()
    print("ready", flush=True)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    while not stop.wait(0.2):
        pass
    controller.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
