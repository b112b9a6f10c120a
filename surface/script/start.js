    // ---- start ----------------------------------------------------------------------

    function selectControl(el) {
        controlEl = el;
        const r = document.createRange();
        r.selectNode(el);
        restoreRange(r);
    }

    // A block that holds nothing but a no-break space (the start-up page's
    // one line) is a placeholder: what is typed into it takes its place.
    function replacePlaceholder(e) {
        if (!/^insert(Text|FromPaste|CompositionText|ReplacementText)$/.test(e.inputType))
            return;
        const r = selectionRange();
        if (!r || !r.collapsed)
            return;
        let t = r.startContainer;
        if (t.nodeType === Node.ELEMENT_NODE)
            t = t.childNodes[r.startOffset] || t.childNodes[r.startOffset - 1] || t.firstChild;
        if (!t || t.nodeType !== Node.TEXT_NODE || t.data !== '\u00a0' || !t.parentElement ||
            t.parentElement.childNodes.length !== 1 || t.parentElement === document.body)
            return;
        const whole = document.createRange();
        whole.selectNodeContents(t);
        restoreRange(whole);
    }

    // Every command that may change the page numbers it first.
    for (const name of ['exec', 'paste', 'pasteOverControl', 'applyFont', 'tableCommand', 'toggleAbsolute', 'setDocProp', 'setBodyAttr', 'setTitle']) {
        const command = qk[name];
        qk[name] = function (...args) {
            ensureIndexed();
            return command.apply(this, args);
        };
    }

    function start() {
        if (document.body && document.body.tagName === 'FRAMESET') {
            tellReady({frameset: true, tag: location.search});
            return;
        }
        for (const el of document.querySelectorAll('[id]')) {
            const id = el.getAttribute('id');
            loadedIdCounts.set(id, (loadedIdCounts.get(id) || 0) + 1);
        }
        withQuiet(() => {
            document.designMode = 'on';
            // Enter outside any block makes a paragraph, not a division.
            document.execCommand('defaultParagraphSeparator', false, 'p');
            if (!document.body && document.documentElement)
                document.documentElement.appendChild(document.createElement('body'));
        });
        observer.observe(document, {subtree: true, childList: true, attributes: true, characterData: true});
        document.addEventListener('selectionchange', () => {
            if (controlEl && !isControlSelected())
                controlEl = null;
            schedulePush();
        });
        document.addEventListener('input', () => { flushMutations(); markDirty(); schedulePush(); });
        document.addEventListener('mousedown', (e) => {
            const el = e.target;
            if (e.button !== 0)
                return;
            let positioned = el;
            while (positioned && positioned !== document.body &&
                   !(positioned.style && positioned.style.position === 'absolute'))
                positioned = positioned.parentElement;
            if (positioned === document.body)
                positioned = null;
            if (positioned && (positioned === controlEl || e.altKey)) {
                // A positioned object already selected moves with the mouse.
                e.preventDefault();
                startDrag(e, positioned);
                return;
            }
            if (el && CONTROL_TAGS.has(el.tagName)) {
                e.preventDefault();
                selectControl(el);
                schedulePush();
            }
        }, true);
        document.addEventListener('contextmenu', (e) => {
            const el = e.target;
            if (el && CONTROL_TAGS.has(el.tagName))
                selectControl(el);
            else if (el && closest(el, 'td,th')) {
                const r = selectionRange();
                if (!r || !closest(elementOf(r.startContainer), 'td,th')) {
                    const pos = document.caretRangeFromPoint(e.clientX, e.clientY);
                    if (pos)
                        restoreRange(pos);
                }
            }
            schedulePush();
        }, true);
        // Nothing dropped onto the page may navigate away from it.
        document.addEventListener('dragover', (e) => {
            if (e.dataTransfer && [...e.dataTransfer.types].includes('Files'))
                e.preventDefault();
        }, true);
        document.addEventListener('drop', (e) => {
            if (e.dataTransfer && [...e.dataTransfer.types].includes('Files'))
                e.preventDefault();
        }, true);
        // Nothing may change the page before its nodes are numbered: the walk
        // runs as soon as the page is shown, or at the first edit if that
        // comes first (every command of ours numbers the page first too).
        indexWhenShown();
        document.addEventListener('beforeinput', (e) => {
            ensureIndexed();
            replacePlaceholder(e);
        }, true);
        // The window hears of the page first, and of its state right after:
        // placing the caret lays the page out, which it can do meanwhile.
        tellReady({frameset: false, tag: location.search, charset: document.characterSet,
                   quirks: document.compatMode === 'BackCompat', lang: qk.lang(),
                   formats: qk.blockFormatNames()});
        try {
            placeCaretAtStart();
        } finally {
            push(); // the window waits for this state before it reads any
        }
    }

    // The caret starts where typing lands: in the page's first text.
    function placeCaretAtStart() {
        if (!document.body)
            return;
        restoreRange(caretAtFirstText(document.body));
    }

    // The page is ready for editing. Reports go to the window on the
    // console; the page's own scripts never run, so nothing else writes there.
    function tellReady(info) {
        console.info(READY_MARK + JSON.stringify(info));
    }

    if (document.readyState === 'loading')
        document.addEventListener('DOMContentLoaded', start);
    else
        start();
